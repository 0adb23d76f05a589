// The parts of the download manager below its window: the settings it shares
// with gathrix-cli's configuration file, the queue as it is kept, and text
// from servers made fit to show.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QSpinBox>
#include <QJsonDocument>
#include <QTest>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "cli/options.h"
#include "manager/album_queue.h"
#include "manager/settings_dialog.h"
#include "manager/shared_settings.h"
#include "support/fake_server.h"

using gathrix::manager::AlbumQueue;
using gathrix::manager::RowState;
using gathrix::manager::SharedSettings;
using gathrix::test::ReadFile;
using gathrix::test::Sandbox;
using gathrix::test::WriteFile;

Q_DECLARE_METATYPE(std::string)

class ManagerPartsTest : public QObject {
    Q_OBJECT

private slots:
    // The shared options take the first line of their name (in whatever form
    // it was written); later lines of them go, every other line stays.
    void settingsRewriteOnlyTheirOwnLines_data() {
        QTest::addColumn<std::string>("before");
        QTest::addColumn<std::string>("after");
        QTest::newRow("empty file") << std::string() << std::string("jobs = 4\nretries = 2\nlimit-rate = 1536\nwait = 1.5\n"
                                                                    "cookies = \"/c/my #1.txt\"\n");
        QTest::newRow("comments and other options kept")
            << std::string("# mine\n--quiet\n\ndirectory ~/albums  # where\n")
            << std::string("# mine\n--quiet\n\ndirectory ~/albums  # where\njobs = 4\nretries = 2\n"
                           "limit-rate = 1536\nwait = 1.5\ncookies = \"/c/my #1.txt\"\n");
        QTest::newRow("replaced in place, prefixes too, duplicates go")
            << std::string("--job 2\n# keep\nretries=9\nlimit-rate 1m\njobs 3\nremote-time\n")
            << std::string("jobs = 4\n# keep\nretries = 2\nlimit-rate = 1536\nremote-time\nwait = 1.5\n"
                           "cookies = \"/c/my #1.txt\"\n");
        QTest::newRow("a line that names no option is left alone")
            << std::string("--re 2\nnonsense here\n") << std::string("--re 2\nnonsense here\njobs = 4\nretries = 2\n"
                                                                    "limit-rate = 1536\nwait = 1.5\n"
                                                                    "cookies = \"/c/my #1.txt\"\n");
    }
    void settingsRewriteOnlyTheirOwnLines() {
        QFETCH(std::string, before);
        QFETCH(std::string, after);
        SharedSettings settings;
        settings.jobs = 4;
        settings.retries = 2;
        settings.limit_rate = 1536;
        settings.wait = std::chrono::milliseconds(1500);
        settings.cookies = "/c/my #1.txt";
        QCOMPARE(gathrix::manager::WithSharedSettings(before, settings), after);
        // Defaults have no line.
        const std::string cleared = gathrix::manager::WithSharedSettings(after, SharedSettings{});
        QCOMPARE(gathrix::ConfigLineOption("jobs = 4"), std::string("jobs"));
        QVERIFY(cleared.find("jobs") == std::string::npos && cleared.find("cookies") == std::string::npos);
    }

    // Saved with mode 0600 and read back by gathrix-cli's own parser.
    void settingsSavedArePrivateAndReadBack() {
        Sandbox sandbox;
        const std::string path = sandbox.Path() + "/config/gathrix/gathrix-cli.conf";
        std::string error;
        QCOMPARE(gathrix::manager::LoadSharedSettings(path, error), SharedSettings{});
        QVERIFY(error.empty());
        SharedSettings settings;
        settings.jobs = 3;
        settings.wait = std::chrono::milliseconds(250);
        settings.cookies = "/tmp/cookies.txt";
        settings.flickr_api_key = "0123abcdef";
        settings.write_metadata = true;
        QVERIFY2(gathrix::manager::SaveSharedSettings(path, settings, error), error.c_str());
        struct stat status {};
        QCOMPARE(::stat(path.c_str(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
        QCOMPARE(gathrix::manager::LoadSharedSettings(path, error), settings);
        const gathrix::ConfigArguments config = gathrix::ArgumentsFromConfig(ReadFile(path), path);
        QVERIFY(config.error.empty());
        const gathrix::ParsedOptions parsed = gathrix::ParseCliOptions(config.args, false);
        QVERIFY(parsed.options && parsed.options->jobs == 3 && parsed.options->cookies == "/tmp/cookies.txt" &&
                parsed.options->flickr_api_key == "0123abcdef" && parsed.options->write_metadata);

        // A file that was readable by others before is not any more.
        ::chmod(path.c_str(), 0644);
        QVERIFY(gathrix::manager::SaveSharedSettings(path, settings, error));
        QCOMPARE(::stat(path.c_str(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
        // A bad line is told with its place, and nothing is taken from the file.
        WriteFile(path, "jobs = 4\njobs = many\n");
        QCOMPARE(gathrix::manager::LoadSharedSettings(path, error), SharedSettings{});
        QVERIFY2(error.starts_with(path + ":2: "), error.c_str());
        // A name that cannot be written into the file is refused.
        settings.cookies = "/tmp/\"quoted\"";
        QVERIFY(!gathrix::manager::SaveSharedSettings(path, settings, error));
        settings.cookies.clear();
        settings.flickr_api_key = "key\njobs = 16";
        QVERIFY(!gathrix::manager::SaveSharedSettings(path, settings, error));
    }

    // The dialog shows the file's settings and gives back what was typed;
    // one transfer at a time, the default, needs no line; a rate that cannot
    // be read keeps the one there was.
    void settingsDialogGivesBackWhatWasTyped_data() {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<qint64>("limit");
        QTest::newRow("four jobs, 2m") << 4 << "2m" << qint64(2 * 1024 * 1024);
        QTest::newRow("one job, no limit") << 1 << "" << qint64(0);
        QTest::newRow("a rate that is no rate") << 2 << "fast" << qint64(1000);
    }
    void settingsDialogGivesBackWhatWasTyped() {
        QFETCH(int, jobs);
        QFETCH(QString, rate);
        QFETCH(qint64, limit);
        SharedSettings before;
        before.jobs = 3;
        before.limit_rate = 1000;
        before.cookies = "/c.txt";
        gathrix::manager::SettingsDialog dialog(before);
        QCOMPARE(dialog.findChild<QSpinBox*>(QStringLiteral("jobs"))->value(), 3);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("rate"))->text(), QStringLiteral("1000"));
        dialog.findChild<QSpinBox*>(QStringLiteral("jobs"))->setValue(jobs);
        dialog.findChild<QLineEdit*>(QStringLiteral("rate"))->setText(rate);
        dialog.findChild<QDoubleSpinBox*>(QStringLiteral("wait"))->setValue(0.25);
        dialog.findChild<QLineEdit*>(QStringLiteral("flickr_api_key"))->setText(QStringLiteral(" 0a1b "));
        dialog.findChild<QCheckBox*>(QStringLiteral("write_metadata"))->setChecked(true);
        const SharedSettings after = dialog.Settings();
        QCOMPARE(after.jobs, jobs > 1 ? std::optional<int>(jobs) : std::nullopt);
        QCOMPARE(after.limit_rate, limit);
        QCOMPARE(after.wait, std::chrono::milliseconds(250));
        QCOMPARE(after.cookies, std::string("/c.txt"));
        QCOMPARE(after.flickr_api_key, std::string("0a1b"));
        QVERIFY(after.write_metadata);
    }

    // The queue as kept: back as it was, a run that was going waits again,
    // and rows that would reach outside the destination are dropped.
    void queueKeptAndRestored() {
        AlbumQueue queue;
        const int a = queue.Add(QStringLiteral("http://x/picasaweb.google.com/a/One"), QStringLiteral("One"));
        const int b = queue.Add(QStringLiteral("http://x/picasaweb.google.com/a/Two"), QStringLiteral("Two"));
        queue.Update(a, [](gathrix::manager::AlbumRow& row) {
            row.state = RowState::DoneWithFailures;
            row.stored = 5;
            row.listed = 6;
            row.bytes = 123456;
            row.problems.append({QStringLiteral("http://x/6.jpg"), QStringLiteral("HTTP 404")});
            row.log = QStringLiteral("Downloading 6.jpg...failed.\r\n");
        });
        queue.Update(b, [](gathrix::manager::AlbumRow& row) { row.state = RowState::Downloading; });
        QJsonObject json = queue.ToJson();
        QJsonArray albums = json.value(QStringLiteral("albums")).toArray();
        for (const QString& hostile : {QStringLiteral(".."), QStringLiteral("a/b"), QString(), QStringLiteral(".")}) {
            QJsonObject row = albums.first().toObject();
            row.insert(QStringLiteral("folder"), hostile);
            albums.append(row);
        }
        json.insert(QStringLiteral("albums"), albums);

        AlbumQueue restored;
        restored.FromJson(QJsonDocument::fromJson(QJsonDocument(json).toJson()).object());
        QCOMPARE(restored.rowCount(), 2);
        const gathrix::manager::AlbumRow& one = restored.Rows()[0];
        QCOMPARE(one.state, RowState::DoneWithFailures);
        QCOMPARE(one.problems.size(), 1);
        QCOMPARE(one.problems[0].reason, QStringLiteral("HTTP 404"));
        QCOMPARE(one.log, queue.Rows()[0].log);
        QCOMPARE(restored.index(0, AlbumQueue::PicturesColumn).data().toString(), QStringLiteral("5 of 6 pictures"));
        QCOMPARE(restored.index(0, AlbumQueue::BytesColumn).data().toString(), QStringLiteral("120.6 KiB"));
        QCOMPARE(restored.index(0, AlbumQueue::ProgressColumn).data(AlbumQueue::kPercentRole).toInt(), 83);
        QCOMPARE(restored.Rows()[1].state, RowState::Waiting);
        QCOMPARE(restored.NextWaiting()->folder, QStringLiteral("Two"));
        restored.Move(restored.Rows()[1].id, -1);
        QCOMPARE(restored.Rows()[0].folder, QStringLiteral("Two"));
    }

    // Control characters from a server never reach the screen as they are.
    void textFromServersIsMadeFitToShow_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("Downloading a.jpg...OK\n") << QStringLiteral("Downloading a.jpg...OK\n");
        QTest::newRow("escape") << QStringLiteral("a\x1b[2Jb") << QStringLiteral("a\uFFFD[2Jb");
        QTest::newRow("bidi override") << QStringLiteral("gpj.\u202Eexe") << QStringLiteral("gpj.\uFFFDexe");
        QTest::newRow("C1 and DEL") << QStringLiteral("x\u009By\u007F") << QStringLiteral("x\uFFFDy\uFFFD");
    }
    void textFromServersIsMadeFitToShow() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(gathrix::manager::Displayable(text), shown);
    }
};

QTEST_MAIN(ManagerPartsTest)
#include "manager_parts_test.moc"
