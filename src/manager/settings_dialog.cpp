#include "manager/settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>

#include "download/settings.h"

namespace gathrix::manager {

SettingsDialog::SettingsDialog(const SharedSettings& settings, QWidget* parent)
    : QDialog(parent), original_(settings) {
    setWindowTitle(QStringLiteral("Settings"));
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("These settings are shared with gathrix-cli."), this));

    jobs_ = new QSpinBox(this);
    jobs_->setObjectName(QStringLiteral("jobs"));
    jobs_->setRange(1, kMaxJobs);
    jobs_->setValue(settings.jobs.value_or(1));
    form->addRow(QStringLiteral("Pictures at &once:"), jobs_);

    retries_ = new QSpinBox(this);
    retries_->setObjectName(QStringLiteral("retries"));
    retries_->setRange(0, 100);
    retries_->setValue(settings.retries);
    form->addRow(QStringLiteral("&Retries of a failed request:"), retries_);

    rate_ = new QLineEdit(this);
    rate_->setObjectName(QStringLiteral("rate"));
    rate_->setPlaceholderText(QStringLiteral("no limit (for example 500k or 2m bytes a second)"));
    if (settings.limit_rate > 0) rate_->setText(QString::number(settings.limit_rate));
    form->addRow(QStringLiteral("Rate &limit:"), rate_);

    wait_ = new QDoubleSpinBox(this);
    wait_->setObjectName(QStringLiteral("wait"));
    wait_->setRange(0, 24 * 60 * 60);
    wait_->setDecimals(3);
    wait_->setSuffix(QStringLiteral(" s"));
    wait_->setValue(static_cast<double>(settings.wait.count()) / 1000);
    form->addRow(QStringLiteral("&Wait between pictures:"), wait_);

    auto* cookie_row = new QHBoxLayout();
    cookies_ = new QLineEdit(QString::fromStdString(settings.cookies), this);
    cookies_->setObjectName(QStringLiteral("cookies"));
    cookies_->setPlaceholderText(QStringLiteral("none"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    cookie_row->addWidget(cookies_, 1);
    cookie_row->addWidget(browse);
    form->addRow(QStringLiteral("&Cookies file:"), cookie_row);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Cookies file"), cookies_->text());
        if (!file.isEmpty()) cookies_->setText(file);
    });

    // The key is shown only while it is edited; the file it goes into is
    // readable by its owner only.
    api_key_ = new QLineEdit(QString::fromStdString(settings.flickr_api_key), this);
    api_key_->setObjectName(QStringLiteral("flickr_api_key"));
    api_key_->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    api_key_->setPlaceholderText(QStringLiteral("none: Flickr sets are read from their pages"));
    form->addRow(QStringLiteral("&Flickr API key:"), api_key_);

    metadata_ = new QCheckBox(QStringLiteral("Keep titles and captions in album.json beside the pictures"), this);
    metadata_->setObjectName(QStringLiteral("write_metadata"));
    metadata_->setChecked(settings.write_metadata);
    form->addRow(QStringLiteral("&Metadata:"), metadata_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

SharedSettings SettingsDialog::Settings() const {
    SharedSettings settings = original_;
    // One at a time is the default: it needs no line of its own.
    settings.jobs = jobs_->value() > 1 ? std::optional<int>(jobs_->value()) : std::nullopt;
    settings.retries = retries_->value();
    const QString rate = rate_->text().trimmed();
    if (rate.isEmpty()) {
        settings.limit_rate = 0;
    } else if (const std::optional<std::int64_t> parsed = ParseRate(rate.toStdString())) {
        settings.limit_rate = *parsed;
    }
    settings.wait = std::chrono::milliseconds(std::llround(wait_->value() * 1000));
    settings.cookies = cookies_->text().trimmed().toStdString();
    settings.flickr_api_key = api_key_->text().trimmed().toStdString();
    settings.write_metadata = metadata_->isChecked();
    return settings;
}

}  // namespace gathrix::manager
