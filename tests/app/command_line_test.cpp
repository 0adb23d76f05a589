// gathrix run with no display at all: --help, --version and bad options are
// answered on the terminal; anything else goes on to QApplication, which finds
// no display and aborts.

#include <QProcess>
#include <QTest>

namespace {

struct Run {
    QProcess::ExitStatus how;
    int status;
    QString out, err;
};

Run Start(const char* program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.start(QString::fromUtf8(program), arguments);
    if (!process.waitForFinished(60000)) process.kill();
    return {process.exitStatus(), process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void answers_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");   // -1: on to QApplication
        QTest::addColumn<QString>("out");  // how stdout starts
        QTest::addColumn<QString>("err");

        const QString version = Start(GATHRIX_CLI_PATH, {"--version"}).out;
        QVERIFY(version.startsWith(QLatin1String("Gathrix ")));
        const QString usage = QStringLiteral("Usage: " GATHRIX_WINDOW_PATH " [options] [address]\n");
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("after Qt's options")
            << QStringList{"-platform", "offscreen", "-reverse", "--version"} << 0 << version << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("-h after -style=NAME") << QStringList{"-style=fusion", "-h"} << 0 << usage << "";
        QTest::newRow("unknown") << QStringList{"http://127.0.0.1/a", "--jobs"} << 1 << ""
                                 << "gathrix: Unknown option 'jobs'.\n";
        QTest::newRow("no value") << QStringList{"-platform"} << 1 << ""
                                  << "gathrix: Missing value after '-platform'.\n";
        QTest::newRow("control characters") << QStringList{"--a\nb\x1b[2J"} << 1 << ""
                                            << "gathrix: Unknown option 'a\\x0Ab\\x1B[2J'.\n";
        QTest::newRow("after --") << QStringList{"--", "--version"} << -1 << ""
                                  << "";
    }

    void answers() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);

        const Run run = Start(GATHRIX_WINDOW_PATH, arguments);
        QCOMPARE(run.out.left(out.size()), out);
        QVERIFY2(!run.out.contains(QLatin1String("<value>")), "Qt's options are listed");
        if (status < 0) {
            QCOMPARE(run.how, QProcess::CrashExit);
            return;
        }
        QCOMPARE(run.how, QProcess::NormalExit);
        QCOMPARE(run.status, status);
        QCOMPARE(run.err, err);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
