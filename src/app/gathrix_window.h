#pragma once
// The main window: the address box that becomes the progress log, the four
// buttons, the prompt and notice labels and the logo. The window shows the
// engine's run events; every button hands over to the engine, the update
// check or the Info window, and Exit stops the run and ends the program.

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/info_window.h"
#include "app/layout.h"
#include "events/run_events.h"

class QCloseEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace gathrix::app {

class Shell;

// "Gathrix v3.5 Picasaweb, Flickr and Webshots Album Downloader".
QString MainWindowTitle();

// The album address among the program's arguments (arguments[0] is the program):
// the first one that does not start with '-', or the one after "--". Empty when
// there is none. The desktop entry passes an address dropped on the program, or
// opened with it, this way.
QString AddressArgument(const QStringList& arguments);

// Client area and control places of the main window, in twips.
inline constexpr int kMainClientWidth = 7584;
inline constexpr int kMainClientHeight = 3696;
inline constexpr TwipRect kAddressBoxPlace{600, 1080, 5052, 2412};
inline constexpr TwipRect kDownloadButtonPlace{600, 120, 5052, 492};
inline constexpr TwipRect kExitButtonPlace{6000, 840, 1332, 612};
inline constexpr TwipRect kUpdateButtonPlace{6000, 1680, 1332, 612};
inline constexpr TwipRect kStatusLabelPlace{600, 840, 5052, 252};
inline constexpr TwipRect kNoticeLabelPlace{6000, 3240, 1335, 375};
inline constexpr TwipRect kInfoButtonPlace{6000, 2520, 1335, 615};
inline constexpr TwipRect kLogoPlace{6000, 120, 1320, 492};

// The controls' object names, by which the tests find them: "Text1" (the
// address box and log), "Dowload", "Exit", "Update" and "Info" (the buttons),
// "Label1" (the prompt, then the progress caption), "Label2" (the maker's
// notice) and "Image1" (the logo).

class Gathrix : public QWidget, public RunEvents {
    Q_OBJECT

public:
    // shell answers the message boxes, opens folders and ends the program; it
    // must outlive the window.
    explicit Gathrix(Shell& shell);
    ~Gathrix() override;

    // The run's events, shown in the widgets.
    void RunStarted() override;
    void LogReplaced(std::string_view text) override;
    void LogAppended(std::string_view piece) override;
    void LogCleared() override;
    void PicturesStored(std::int64_t count) override;
    void Message(std::string_view text, std::string_view title, BoxIcon icon) override;
    void Progress(const TransferProgress& progress) override;
    std::optional<std::chrono::milliseconds> ProgressEvery() const override;
    void AlbumFinished(std::int64_t count, const std::filesystem::path& folder) override;
    void RunEnded() override;

    // The open Info window, or null.
    InfoWindow* CurrentInfoWindow() const { return info_; }

    // The controls the program and the tests type into, press and read.
    QPlainTextEdit* AddressBox() const { return address_box_; }
    QPushButton* DownloadButton() const { return download_button_; }
    QPushButton* ExitButton() const { return exit_button_; }
    QPushButton* UpdateButton() const { return update_button_; }
    QPushButton* InfoButton() const { return info_button_; }
    QLabel* StatusLabel() const { return status_label_; }

protected:
    // Closing the window by its frame ends the program as Exit does.
    void closeEvent(QCloseEvent* event) override;

private:
    // Creates the controls in tab order and puts each in its place.
    void MakeControls(double dpi_x, double dpi_y);

    void OnDownload();
    void OnUpdate();
    void OnInfo();
    void OnExit();

    void ShowEndOfLog();

    Shell& shell_;
    QPlainTextEdit* address_box_ = nullptr;
    QPushButton* download_button_ = nullptr;
    QPushButton* exit_button_ = nullptr;
    QPushButton* update_button_ = nullptr;
    QLabel* status_label_ = nullptr;
    QLabel* notice_label_ = nullptr;
    QPushButton* info_button_ = nullptr;
    QLabel* logo_ = nullptr;
    QPointer<InfoWindow> info_;
    // Stops the run that is going, if any (Exit during a download).
    Cancellation cancel_;
    // The log's last piece ended in a lone CR: an LF at the start of the next
    // piece completes that line end instead of starting another line.
    bool log_ends_in_cr_ = false;
};

}  // namespace gathrix::app
