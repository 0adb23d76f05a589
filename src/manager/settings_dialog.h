#pragma once
// The settings shared with gathrix-cli, edited: transfers at once, retries,
// the rate limit, the wait between pictures, the cookie file, the Flickr API
// key and whether album.json is written.

#include <QDialog>

#include "manager/shared_settings.h"

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace gathrix::manager {

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    SettingsDialog(const SharedSettings& settings, QWidget* parent = nullptr);
    // What the dialog holds now; a rate that cannot be read is kept as it was.
    SharedSettings Settings() const;

private:
    SharedSettings original_;
    QSpinBox* jobs_ = nullptr;
    QSpinBox* retries_ = nullptr;
    QLineEdit* rate_ = nullptr;
    QDoubleSpinBox* wait_ = nullptr;
    QLineEdit* cookies_ = nullptr;
    QLineEdit* api_key_ = nullptr;
    QCheckBox* metadata_ = nullptr;
};

}  // namespace gathrix::manager
