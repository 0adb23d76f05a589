// The main window and the Info window on Qt's offscreen platform: their controls
// and layout, the keyboard, Exit, Info, the front-end operations the engine
// writes through, Check Update against the local test server, and the address
// checks of Download that leave the program running or end it.

#include <stdlib.h>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/gathrix_window.h"
#include "app/info_window.h"
#include "app/layout.h"
#include "app/shell.h"
#include "recording_shell.h"
#include "support/fake_server.h"

using gathrix::BoxIcon;
using gathrix::app::Gathrix;
using gathrix::app::InfoWindow;
using gathrix::app::TwipRect;
using gathrix::app::test::RecordingShell;
using gathrix::test::ScopedEnv;
namespace fs = std::filesystem;

namespace {

QString InfoTextExpected() {
    return QStringLiteral(
        "Gathrix - PicasaWeb, Flickr and Webshots Album Downloader v3.5\n"
        "Requirements: Windows 2000 / XP / Vista\n"
        "Web page: http://gathrix.example.net\n"
        "Email: gathrix@example.net");
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        unsetenv("GATHRIX_MAKER_SITE_URL");
        shell_ = std::make_unique<RecordingShell>();
        window_ = std::make_unique<Gathrix>(*shell_);
    }
    void cleanup() {
        window_.reset();
        shell_.reset();
    }

    void twipsBecomePixelsAtTheScreensResolution() {
        using gathrix::app::TwipsToPixels;
        // At 96 dots per inch 15 twips make a pixel; the window is 505.6 by 246.4.
        QCOMPARE(TwipsToPixels(7584, 3696, 96, 96), QSize(506, 246));
        QCOMPARE(TwipsToPixels(TwipRect{600, 1080, 5052, 2412}, 96, 96), QRect(40, 72, 337, 161));
        // The prompt ends at 1092 twips, a pixel inside the text box below it.
        QCOMPARE(TwipsToPixels(TwipRect{600, 840, 5052, 252}, 96, 96).bottom(), 72);
        // At 120 dots per inch the logo's place is exactly the logo's size.
        QCOMPARE(TwipsToPixels(TwipRect{6000, 120, 1320, 492}, 120, 120), QRect(500, 10, 110, 41));
        QCOMPARE(TwipsToPixels(TwipRect{6000, 120, 1320, 492}, 144, 192).size(), QSize(132, 66));
    }

    void addressArgumentIsTheFirstArgumentThatIsNoOption() {
        using gathrix::app::AddressArgument;
        const QString a = QStringLiteral("http://www.flickr.com/photos/x/sets/1/");
        QCOMPARE(AddressArgument({QStringLiteral("gathrix")}), QString());
        QCOMPARE(AddressArgument({a}), QString());
        QCOMPARE(AddressArgument({QStringLiteral("gathrix"), QStringLiteral("-x"), a, QStringLiteral("b")}), a);
        QCOMPARE(AddressArgument({QStringLiteral("gathrix"), QStringLiteral("--"), QStringLiteral("-a")}),
                 QStringLiteral("-a"));
        QCOMPARE(AddressArgument({QStringLiteral("gathrix"), QStringLiteral("--")}), QString());
    }

    void windowHasItsTitleSizeAndControls() {
        Gathrix& w = *window_;
        QCOMPARE(w.windowTitle(), QStringLiteral("Gathrix v3.5 Picasaweb, Flickr and Webshots Album Downloader"));
        QCOMPARE(w.objectName(), QStringLiteral("Gathrix"));

        const double dx = gathrix::app::LogicalDpiX();
        const double dy = gathrix::app::LogicalDpiY();
        const QSize client = gathrix::app::TwipsToPixels(7584, 3696, dx, dy);
        QCOMPARE(w.size(), client);
        QCOMPARE(w.minimumSize(), client);
        QCOMPARE(w.maximumSize(), client);

        struct Expected {
            const char* name;
            const char* text;
            TwipRect place;
        };
        // clang-format off
        const Expected buttons[] = {
            {"Dowload", "&Download", {600, 120, 5052, 492}},
            {"Exit", "&Exit", {6000, 840, 1332, 612}},
            {"Update", "&Check Update", {6000, 1680, 1332, 612}},
            {"Info", "Info", {6000, 2520, 1335, 615}},
        };
        // clang-format on
        for (const Expected& e : buttons) {
            auto* button = w.findChild<QPushButton*>(QString::fromLatin1(e.name));
            QVERIFY2(button != nullptr, e.name);
            QCOMPARE(button->text(), QString::fromLatin1(e.text));
            QCOMPARE(button->geometry(), gathrix::app::TwipsToPixels(e.place, dx, dy));
            QVERIFY(button->isEnabled());
            QVERIFY(!button->isDefault());
        }
        // clang-format off
        const Expected labels[] = {
            {"Label1", "Input Picasa or Flickr Album URL here", {600, 840, 5052, 252}},
            {"Label2", nullptr, {6000, 3240, 1335, 375}},
            {"Image1", nullptr, {6000, 120, 1320, 492}},
        };
        // clang-format on
        for (const Expected& e : labels) {
            auto* label = w.findChild<QLabel*>(QString::fromLatin1(e.name));
            QVERIFY2(label != nullptr, e.name);
            if (e.text != nullptr) QCOMPARE(label->text(), QString::fromLatin1(e.text));
            QCOMPARE(label->geometry(), gathrix::app::TwipsToPixels(e.place, dx, dy));
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        }
        auto* text1 = w.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        QVERIFY(text1 != nullptr);
        QCOMPARE(text1->geometry(), gathrix::app::TwipsToPixels(TwipRect{600, 1080, 5052, 2412}, dx, dy));
        QCOMPARE(text1->toPlainText(), QString());
        QCOMPARE(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        // The notice is one line on light green; the prompt uses the highlight colours.
        const QLabel* notice = w.findChild<QLabel*>(QStringLiteral("Label2"));
        QVERIFY(!notice->text().isEmpty());
        QVERIFY(!notice->text().contains(QLatin1Char('\n')));
        QVERIFY(notice->fontMetrics().horizontalAdvance(notice->text()) <= notice->width());
        QCOMPARE(notice->palette().color(QPalette::Window), QColor(128, 255, 128));
        QVERIFY(notice->autoFillBackground());
        QCOMPARE(w.StatusLabel()->palette().color(QPalette::Window),
                 w.palette().color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(w.StatusLabel()->palette().color(QPalette::WindowText),
                 w.palette().color(QPalette::Active, QPalette::HighlightedText));
        QVERIFY(w.StatusLabel()->autoFillBackground());

        // The logo and the icon come from the program's resources.
        const QLabel* logo = w.findChild<QLabel*>(QStringLiteral("Image1"));
        QVERIFY(logo->pixmap().size() == logo->size());
        QCOMPARE(QImage(QStringLiteral(":/gathrix/logo.png")).size(), QSize(110, 41));
        QCOMPARE(QImage(QStringLiteral(":/gathrix/icon.png")).size(), QSize(64, 61));
        QVERIFY(!w.windowIcon().isNull());
    }

    void tabVisitsTheControlsInOrderStartingInText1() {
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.AddressBox()));

        QTest::keyClicks(w.AddressBox(), QStringLiteral("ab"));
        const QList<QWidget*> order{w.DownloadButton(), w.ExitButton(), w.UpdateButton(),
                                    w.InfoButton(),     w.AddressBox(), w.DownloadButton()};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        // Tab moved the focus on and typed nothing into the text box.
        QCOMPARE(w.AddressBox()->toPlainText(), QStringLiteral("ab"));
        QCOMPARE(shell_->ends, 0);
        QVERIFY(shell_->boxes.empty());
    }

    void enterInText1StartsANewLineAndEscapeDoesNothing() {
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClicks(w.AddressBox(), QStringLiteral("one"));
        QTest::keyClick(w.AddressBox(), Qt::Key_Return);
        QTest::keyClicks(w.AddressBox(), QStringLiteral("two"));
        QTest::keyClick(w.AddressBox(), Qt::Key_Escape);
        QCOMPARE(w.AddressBox()->toPlainText(), QStringLiteral("one\ntwo"));
        QVERIFY(w.isVisible());
        QVERIFY(shell_->boxes.empty());
        QCOMPARE(shell_->ends, 0);
    }

    void buttonsHaveTheirAccessKeys() {
        QCOMPARE(window_->DownloadButton()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_D));
        QCOMPARE(window_->ExitButton()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
        QCOMPARE(window_->UpdateButton()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
        QVERIFY(window_->InfoButton()->shortcut().isEmpty());
    }

    void exitEndsTheProgramAtOnce() {
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.AddressBox()->setPlainText(QStringLiteral("http://picasaweb.google.com/someone/album"));
        QTest::mouseClick(w.ExitButton(), Qt::LeftButton);
        QCOMPARE(shell_->ends, 1);
        QVERIFY(shell_->boxes.empty());
        QVERIFY(shell_->opened_folders.empty());
    }

    void closingTheWindowByItsFrameEndsTheProgramAsExitDoes() {
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.close();
        QCOMPARE(shell_->ends, 1);
        QVERIFY(shell_->boxes.empty());
    }

    void infoShowsFourLinesAndRebuildsThemWhenPressedAgain() {
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.CurrentInfoWindow() == nullptr);

        QTest::mouseClick(w.InfoButton(), Qt::LeftButton);
        QPointer<InfoWindow> info = w.CurrentInfoWindow();
        QVERIFY(info != nullptr);
        QVERIFY(info->isVisible());
        QCOMPARE(info->windowTitle(), QStringLiteral("Info"));
        QVERIFY(info->parentWidget() == nullptr);
        QVERIFY(!info->isModal());
        QCOMPARE(info->Text(), InfoTextExpected());
        QCOMPARE(info->TextBox()->document()->blockCount(), 4);
        QVERIFY(QTest::qWaitForWindowActive(info));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(info->OkButton()));

        // The main window stays usable: a second press rebuilds the same text.
        QTest::mouseClick(w.InfoButton(), Qt::LeftButton);
        QCOMPARE(w.CurrentInfoWindow(), info.data());
        QCOMPARE(info->Text(), InfoTextExpected());
        QCOMPARE(info->TextBox()->document()->blockCount(), 4);
        QVERIFY(!info->Text().endsWith(QLatin1Char('\n')));

        // OK closes and discards it; the next press makes a new one.
        QVERIFY(QTest::qWaitForWindowActive(info));
        QTest::keyClick(info->OkButton(), Qt::Key_Space);
        QTRY_VERIFY(info.isNull());
        QVERIFY(w.CurrentInfoWindow() == nullptr);

        QTest::mouseClick(w.InfoButton(), Qt::LeftButton);
        info = w.CurrentInfoWindow();
        QVERIFY(info != nullptr);
        QCOMPARE(info->Text(), InfoTextExpected());
        // Enter on the focused OK_button closes it as well.
        QVERIFY(QTest::qWaitForWindowActive(info));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(info.isNull());

        // So does the frame.
        QTest::mouseClick(w.InfoButton(), Qt::LeftButton);
        info = w.CurrentInfoWindow();
        QVERIFY(info != nullptr);
        info->close();
        QTRY_VERIFY(info.isNull());
        QCOMPARE(shell_->ends, 0);
    }

    void infoShowsTheSiteTheProgramUses() {
        ScopedEnv site("GATHRIX_MAKER_SITE_URL", "http://127.0.0.1:9");
        QTest::mouseClick(window_->InfoButton(), Qt::LeftButton);
        QVERIFY(window_->CurrentInfoWindow() != nullptr);
        QVERIFY(window_->CurrentInfoWindow()->Text().contains(QStringLiteral("\nWeb page: http://127.0.0.1:9\n")));
    }

    void runEventsShowInTheWidgets() {
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.LogReplaced("Start time:10:00:00\r\nDestination folder:/tmp/AlbumDownload\r\n");
        w.LogAppended("Downloading 1.jpg...");
        w.LogAppended("OK\r\n");
        // A line end split over two pieces is still one line end.
        w.LogAppended("Downloading 2.jpg...failed.\r");
        w.LogAppended("\nEnd time:10:00:05");
        w.LogAppended("");
        w.LogAppended("\r\nToatal time: 5 seconds");
        const QString expected = QStringLiteral(
            "Start time:10:00:00\nDestination folder:/tmp/AlbumDownload\nDownloading 1.jpg...OK\n"
            "Downloading 2.jpg...failed.\nEnd time:10:00:05\nToatal time: 5 seconds");
        QCOMPARE(w.AddressBox()->toPlainText(), expected);
        QCOMPARE(w.AddressBox()->textCursor().position(), w.AddressBox()->document()->characterCount() - 1);

        // A long log keeps its end in view.
        for (int i = 0; i < 200; ++i) w.LogAppended("Downloading picture.jpg...OK\r\n");
        QScrollBar* bar = w.AddressBox()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        w.PicturesStored(3);
        QCOMPARE(w.StatusLabel()->text(), QStringLiteral("Download in progress... 3 files finished."));

        w.LogCleared();
        QCOMPARE(w.AddressBox()->toPlainText(), QString());

        w.RunStarted();
        QVERIFY(!w.DownloadButton()->isEnabled());
        QVERIFY(!w.UpdateButton()->isEnabled());
        QVERIFY(!w.InfoButton()->isEnabled());
        QVERIFY(w.ExitButton()->isEnabled());
        QVERIFY(w.AddressBox()->isEnabled());

        w.Message("Invalid URL !", "Error", BoxIcon::Critical);
        QCOMPARE(shell_->boxes.size(), std::size_t{1});
        QCOMPARE(shell_->boxes[0].text, QStringLiteral("Invalid URL !"));
        QCOMPARE(shell_->boxes[0].title, QStringLiteral("Error"));
        // A finished album is shown in the file browser when it has pictures.
        w.AlbumFinished(0, "/tmp/Empty/AlbumDownload");
        w.AlbumFinished(2, "/tmp/AlbumDownload");
        QCOMPARE(shell_->opened_folders, std::vector<fs::path>{"/tmp/AlbumDownload"});
    }

    void desktopBoxesHaveTheirTitleTextAndIcon() {
        gathrix::app::DesktopShell desktop;
        struct Seen {
            QString title, text;
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            int buttons = 0;
        };
        for (BoxIcon icon : {BoxIcon::None, BoxIcon::Critical}) {
            Seen seen;
            bool answered = false;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr) return;
                seen = {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())};
                answered = true;
                box->button(QMessageBox::Ok)->click();
            });
            desktop.ShowMessage(window_.get(), QStringLiteral("Our page cannot be contacted"), QStringLiteral("Error"),
                                icon);
            QVERIFY(answered);
            QCOMPARE(seen.title, QStringLiteral("Error"));
            QCOMPARE(seen.text, QStringLiteral("Our page cannot be contacted"));
            QCOMPARE(seen.icon, icon == BoxIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon);
            QCOMPARE(seen.buttons, 1);
        }
    }

    void checkUpdate_data() {
        QTest::addColumn<QString>("served");  // "" for nothing served, "down" for no server
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");

        const QString same = QStringLiteral("No new version available");
        const QString fresh = QStringLiteral("New version available ! Please visit our site to download");
        const QString failed = QStringLiteral("Our page cannot be contacted");
        QTest::newRow("3.5") << "file" << QByteArray("3.5\r\n") << "Update checked" << same;
        QTest::newRow("quoted 3.5") << "file" << QByteArray("\"3.5\"\r\n") << "Update checked" << same;
        QTest::newRow("blanks before 3.5") << "file" << QByteArray("   3.5\r\n") << "Update checked" << same;
        QTest::newRow("3.5 and a comma") << "file" << QByteArray("3.5,2008-05-01\r\n") << "Update checked" << same;
        QTest::newRow("3.6") << "file" << QByteArray("3.6\r\n") << "New version" << fresh;
        QTest::newRow("3.50") << "file" << QByteArray("3.50\r\n") << "New version" << fresh;
        QTest::newRow("404") << "404" << QByteArray("3.5\r\n") << "Error" << failed;
        QTest::newRow("empty file") << "file" << QByteArray() << "Error" << failed;
        QTest::newRow("server down") << "down" << QByteArray() << "Error" << failed;
    }

    void checkUpdate() {
        QFETCH(QString, served);
        QFETCH(QByteArray, body);
        QFETCH(QString, title);
        QFETCH(QString, text);

        gathrix::test::Sandbox sandbox;
        gathrix::test::ScopedCwd cwd(sandbox.Path());
        gathrix::test::WriteFile("version.txt", "3.6\r\n");

        std::optional<gathrix::test::FakeServer> server(std::in_place);
        if (served == QLatin1String("file")) server->Serve("/gathrix/version.txt", body.toStdString(), "text/plain");
        if (served == QLatin1String("404")) server->ServeStatus("/gathrix/version.txt", 404, body.toStdString());
        const std::string site = server->Url("");
        if (served == QLatin1String("down")) server.reset();
        ScopedEnv site_url("GATHRIX_MAKER_SITE_URL", site);

        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.AddressBox()->setPlainText(QStringLiteral("http://picasaweb.google.com/someone/album"));
        QTest::mouseClick(w.UpdateButton(), Qt::LeftButton);

        QCOMPARE(shell_->boxes.size(), std::size_t{1});
        const RecordingShell::Box& box = shell_->boxes[0];
        QCOMPARE(box.title, title);
        QCOMPARE(box.text, text);
        const bool failed = title == QLatin1String("Error");
        QCOMPARE(box.icon, failed ? BoxIcon::Critical : BoxIcon::None);
        QCOMPARE(box.log_at_box, QStringLiteral("Contacting server, please wait...") +
                                     (failed ? QStringLiteral("failed.") : QStringLiteral("OK")));
        // Afterwards the box is empty, the buttons still work, and the user's own
        // "version.txt" is still there as it was.
        QCOMPARE(w.AddressBox()->toPlainText(), QString());
        QVERIFY(w.UpdateButton()->isEnabled() && w.DownloadButton()->isEnabled() && w.InfoButton()->isEnabled());
        QCOMPARE(shell_->ends, 0);
        QCOMPARE(gathrix::test::ReadFile("version.txt"), std::string("3.6\r\n"));
        QCOMPARE(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
        if (server) QCOMPARE(server->Hits("/gathrix/version.txt"), 1);
    }

    void downloadWithABlankAddressKeepsTheProgramRunning() {
        gathrix::test::Sandbox sandbox;
        gathrix::test::ScopedCwd cwd(sandbox.Path());
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.AddressBox()->setPlainText(QStringLiteral("    "));
        QTest::mouseClick(w.DownloadButton(), Qt::LeftButton);
        QCOMPARE(shell_->ends, 0);
        QVERIFY(shell_->boxes.empty());
        QVERIFY(w.DownloadButton()->isEnabled() && w.UpdateButton()->isEnabled() && w.InfoButton()->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.AddressBox()));
        QCOMPARE(fs::current_path(), fs::path(sandbox.Path()));
    }

    void downloadOfAnUnknownAddressSaysInvalidUrlAndEnds() {
        gathrix::test::Sandbox sandbox;
        gathrix::test::ScopedCwd cwd(sandbox.Path());
        Gathrix& w = *window_;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.AddressBox()->setPlainText(QStringLiteral("http://127.0.0.1:9/nothing/we/know"));
        QTest::mouseClick(w.DownloadButton(), Qt::LeftButton);
        QCOMPARE(shell_->boxes.size(), std::size_t{1});
        QCOMPARE(shell_->boxes[0].title, QStringLiteral("Error"));
        QCOMPARE(shell_->boxes[0].text, QStringLiteral("Invalid URL !"));
        QCOMPARE(shell_->boxes[0].icon, BoxIcon::Critical);
        QCOMPARE(shell_->ends, 1);
        QCOMPARE(w.AddressBox()->toPlainText(), QStringLiteral("http://127.0.0.1:9/nothing/we/know"));
        QVERIFY(!w.DownloadButton()->isEnabled() && !w.UpdateButton()->isEnabled() && !w.InfoButton()->isEnabled());
        QVERIFY(w.ExitButton()->isEnabled());
    }

private:
    std::unique_ptr<RecordingShell> shell_;
    std::unique_ptr<Gathrix> window_;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
