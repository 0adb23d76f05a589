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

#include "app/frm_info.h"
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
inline constexpr TwipRect kText1Place{600, 1080, 5052, 2412};
inline constexpr TwipRect kDowloadPlace{600, 120, 5052, 492};
inline constexpr TwipRect kExitPlace{6000, 840, 1332, 612};
inline constexpr TwipRect kUpdatePlace{6000, 1680, 1332, 612};
inline constexpr TwipRect kLabel1Place{600, 840, 5052, 252};
inline constexpr TwipRect kLabel2Place{6000, 3240, 1335, 375};
inline constexpr TwipRect kInfoPlace{6000, 2520, 1335, 615};
inline constexpr TwipRect kImage1Place{6000, 120, 1320, 492};

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
    frmInfo* InfoWindow() const { return info_; }

    QPlainTextEdit* Text1;
    QPushButton* Dowload;
    QPushButton* Exit;
    QPushButton* Update;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* Info;
    QLabel* Image1;

protected:
    // Closing the window by its frame ends the program as Exit does.
    void closeEvent(QCloseEvent* event) override;

private:
    void OnDowload();
    void OnUpdate();
    void OnInfo();
    void OnExit();

    void ShowEndOfLog();

    Shell& shell_;
    QPointer<frmInfo> info_;
    // Stops the run that is going, if any (Exit during a download).
    Cancellation cancel_;
    // The log's last piece ended in a lone CR: an LF at the start of the next
    // piece completes that line end instead of starting another line.
    bool log_ends_in_cr_ = false;
};

}  // namespace gathrix::app
