// Whole album downloads driven through the main window: the address typed into
// Text1, a press on Download, and everything the program leaves behind. The
// pictures come from the local test server.

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/gathrix_window.h"
#include "app/shell.h"
#include "recording_shell.h"
#include "support/album_pages.h"
#include "support/fake_server.h"

using gathrix::BoxIcon;
using gathrix::app::Gathrix;
using gathrix::app::test::RecordingShell;
using gathrix::test::FakeServer;
using gathrix::test::PicasaPage;
using gathrix::test::PictureBytes;
using gathrix::test::ReadFile;
using gathrix::test::Sandbox;
using gathrix::test::ScopedCwd;
using gathrix::test::WriteFile;
namespace fs = std::filesystem;

namespace {

constexpr const char* kExitChildFlag = "--press-exit-during-picture-3";
constexpr const char* kAlbumPath = "/picasaweb.google.com/someone/Holidays";

// Bytes of picture n: sizes differ from picture to picture.
std::string Picture(int n) { return PictureBytes(n, static_cast<std::size_t>(2000 + 173 * n)); }

// An album page that names pictures 1 to count, after a decoy picture that
// stands before the feed and must not be fetched.
std::string AlbumPage(const FakeServer& server, int count) {
    std::vector<std::string> pictures;
    for (int n = 1; n <= count; ++n) pictures.push_back(server.Url("/pics/" + std::to_string(n) + ".jpg"));
    return PicasaPage(pictures, {.before_feed = {server.Url("/pics/decoy.jpg")}});
}

std::set<std::string> FolderEntries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// The program itself, with the real shell, pressing Exit while the third picture
// comes in. Runs in a child process because Exit ends the process.
int RunExitChild(int argc, char** argv) {
    QApplication app(argc, argv);
    gathrix::app::DesktopShell shell;
    Gathrix window(shell);
    window.show();
    window.AddressBox()->setPlainText(QString::fromLocal8Bit(argv[2]));

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&window] {
        if (window.AddressBox()->toPlainText().endsWith(QStringLiteral("Downloading 3.jpg..."))) {
            std::puts("pressing Exit");
            std::fflush(stdout);
            window.ExitButton()->click();
        }
    });
    watch.start(5);
    QTimer::singleShot(30000, [] { std::_Exit(3); });
    QTimer::singleShot(0, window.DownloadButton(), &QPushButton::click);
    return QApplication::exec();
}

}  // namespace

class DownloadTest : public QObject {
    Q_OBJECT

private slots:
    void aPicasaAlbumOfFiftyPicturesDownloadsAndTheProgramEnds() {
        Sandbox sandbox;
        ScopedCwd cwd(sandbox.Path());
        FakeServer server;
        for (int n = 1; n <= 50; ++n) {
            server.Serve("/pics/" + std::to_string(n) + ".jpg", Picture(n), "image/jpeg");
        }
        server.Serve(kAlbumPath, AlbumPage(server, 50), "text/html");

        RecordingShell shell;
        Gathrix window(shell);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClicks(window.AddressBox(), QString::fromStdString("  " + server.Url(kAlbumPath) + " "));
        // Enter after the address, as one presses it after pasting: the line
        // break goes with the blanks.
        QTest::keyClick(window.AddressBox(), Qt::Key_Return);
        QTest::mouseClick(window.DownloadButton(), Qt::LeftButton);

        // The run is over when the press returns: one "Finished" box, the folder
        // opened, the program ended.
        QCOMPARE(shell.boxes.size(), std::size_t{1});
        QCOMPARE(shell.boxes[0].title, QStringLiteral("Finished"));
        QCOMPARE(shell.boxes[0].text, QStringLiteral(" 50 files successfully downloaded!"));
        QCOMPARE(shell.boxes[0].icon, BoxIcon::None);
        QCOMPARE(shell.ends, 1);
        const fs::path folder = fs::path(sandbox.Path()) / "AlbumDownload";
        QCOMPARE(shell.opened_folders.size(), std::size_t{1});
        QVERIFY(fs::equivalent(shell.opened_folders[0], folder));
        QCOMPARE(fs::current_path(), fs::path(sandbox.Path()));

        // Exactly the fifty pictures, byte for byte; no page, no scratch file.
        std::set<std::string> expected;
        for (int n = 1; n <= 50; ++n) expected.insert(std::to_string(n) + ".jpg");
        QCOMPARE(FolderEntries(folder), expected);
        for (int n = 1; n <= 50; ++n) {
            const std::string name = std::to_string(n) + ".jpg";
            QVERIFY2(ReadFile((folder / name).string()) == Picture(n), name.c_str());
        }
        QCOMPARE(server.Hits(kAlbumPath), 1);
        QCOMPARE(server.Hits("/pics/decoy.jpg"), 0);

        // The log, as the window shows it.
        QString lines;
        for (int n = 1; n <= 50; ++n) lines += QStringLiteral("Downloading %1.jpg...OK\n").arg(n);
        const QRegularExpression log(
            QStringLiteral("^Start time:\\d\\d:\\d\\d:\\d\\d\nDestination folder:") +
            QRegularExpression::escape(QString::fromStdString(fs::canonical(folder).string())) + QStringLiteral("\n") +
            QRegularExpression::escape(lines) +
            QStringLiteral("\nEnd time:\\d\\d:\\d\\d:\\d\\d\nToatal time: \\d+ seconds$"));
        const QString text = window.AddressBox()->toPlainText();
        QVERIFY2(log.match(text).hasMatch(), qPrintable(text.right(300)));
        QCOMPARE(window.StatusLabel()->text(), QStringLiteral("Download in progress... 50 files finished."));
        QVERIFY(!window.DownloadButton()->isEnabled() && !window.UpdateButton()->isEnabled() &&
                !window.InfoButton()->isEnabled());
        QVERIFY(window.ExitButton()->isEnabled());
    }

    // GATHRIX_SKIP_EXISTING=1 makes the window keep a record of the folder;
    // a later plain run keeps it current and keeps a picture edited since.
    void theWindowKeepsTheFoldersRecord() {
        Sandbox sandbox;
        ScopedCwd cwd(sandbox.Path());
        FakeServer server;
        for (int n = 1; n <= 3; ++n) server.Serve("/pics/" + std::to_string(n) + ".jpg", Picture(n), "image/jpeg");
        server.Serve(kAlbumPath, AlbumPage(server, 3), "text/html");
        const auto run = [&server] {
            RecordingShell shell;
            Gathrix window(shell);
            window.AddressBox()->setPlainText(QString::fromStdString(server.Url(kAlbumPath)));
            QTest::mouseClick(window.DownloadButton(), Qt::LeftButton);
            return window.AddressBox()->toPlainText();
        };
        setenv("GATHRIX_SKIP_EXISTING", "1", 1);
        run();
        unsetenv("GATHRIX_SKIP_EXISTING");
        const fs::path folder = fs::path(sandbox.Path()) / "AlbumDownload";
        QVERIFY(fs::is_regular_file(folder / ".gathrix-record.sqlite"));
        WriteFile((folder / "2.jpg").string(), "edited");
        const QString log = run();
        QVERIFY2(log.contains(QStringLiteral("Downloading 1.jpg...OK\nDownloading 2.jpg...already here.\n"
                                             "Downloading 3.jpg...OK\n")),
                 qPrintable(log));
        QCOMPARE(ReadFile((folder / "2.jpg").string()), std::string("edited"));
        QCOMPARE(server.Hits("/pics/2.jpg"), 1);
        QCOMPARE(server.Hits("/pics/1.jpg"), 2);
    }

    void exitDuringADownloadEndsTheProgramAndLeavesNoPartialPicture_data() {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one transfer") << 1;
        QTest::newRow("four transfers in flight") << 4;
    }

    void exitDuringADownloadEndsTheProgramAndLeavesNoPartialPicture() {
        QFETCH(int, jobs);
        Sandbox sandbox;
        FakeServer server;
        server.Serve("/pics/1.jpg", Picture(1), "image/jpeg");
        server.Serve("/pics/2.jpg", Picture(2), "image/jpeg");
        // Pictures 3 to 6 come in slowly enough for Exit to arrive in the middle
        // of them (with four transfers all four are in flight then).
        for (int n = 3; n <= 6; ++n) {
            server.ServeTrickle("/pics/" + std::to_string(n) + ".jpg", std::string(400000, 'x'), 1000,
                                std::chrono::milliseconds(20));
        }
        server.Serve(kAlbumPath, AlbumPage(server, 6), "text/html");

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GATHRIX_JOBS"), QString::number(jobs));
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(QString::fromStdString(sandbox.Path()));
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kExitChildFlag), QString::fromStdString(server.Url(kAlbumPath))});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(child.readAllStandardOutput().contains("pressing Exit"));

        // The two finished pictures stay; nothing of the pictures in flight,
        // nothing after them, and no saved page.
        const fs::path folder = fs::path(sandbox.Path()) / "AlbumDownload";
        QCOMPARE(FolderEntries(folder), (std::set<std::string>{"1.jpg", "2.jpg"}));
        QVERIFY(ReadFile((folder / "1.jpg").string()) == Picture(1));
        QVERIFY(ReadFile((folder / "2.jpg").string()) == Picture(2));
        QVERIFY(server.Hits("/pics/6.jpg") <= (jobs == 4 ? 1 : 0));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == kExitChildFlag) return RunExitChild(argc, argv);
    QApplication app(argc, argv);
    DownloadTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "download_test.moc"
