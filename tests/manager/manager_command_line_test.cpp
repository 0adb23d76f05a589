// gathrix-manager as a process: --help and --version answer without a
// display, and a mistyped option is told on one line.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

class ManagerCommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void answersWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList{"--version"} << 0 << "gathrix-manager (Gathrix) 3.5\n" << "";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--start" << "";
        QTest::newRow("bad option") << QStringList{"--sttart", "http://x"} << 1 << ""
                                    << "gathrix-manager: Unknown option 'sttart'.\n";
    }
    void answersWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GATHRIX_MANAGER_PATH), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        const QString standard_out = QString::fromLocal8Bit(process.readAllStandardOutput());
        if (out.endsWith(u'\n')) {
            QCOMPARE(standard_out, out);
        } else {
            QVERIFY(standard_out.contains(out) || out.isEmpty());
        }
        if (out.isEmpty()) QCOMPARE(standard_out, QString());
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()), err);
    }
};

QTEST_GUILESS_MAIN(ManagerCommandLineTest)
#include "manager_command_line_test.moc"
