// Every program of the package as a user meets it in a terminal without a display: --help and
// --version answer and end, a mistyped option ends with the problem and the usage, status 2.

#include <QProcess>
#include <QTest>

class TestCommandLines : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutDisplay_data();
    void withoutDisplay();
};

void TestCommandLines::withoutDisplay_data()
{
    QTest::addColumn<QString>("Program");
    QTest::addColumn<QString>("Argument");
    QTest::addColumn<int>("Status");
    // Which stream must carry the answer, and a word it must hold.
    QTest::addColumn<bool>("OnStdout");
    QTest::addColumn<QString>("Holds");

    const struct
    {
        const char* Name;
        const char* Path;
    } programs[] = {{"ombrelay", OMBRELAY_BINARY},
                    {"ombrelay-pdu", OMBRELAY_PDU_BINARY},
                    {"ombrelay-sim", OMBRELAY_SIM_BINARY},
                    {"ombrelayctl", OMBRELAY_CTL_BINARY}};
    for (const auto& p : programs) {
        const QString name = QString::fromLatin1(p.Name);
        const QString path = QString::fromLatin1(p.Path);
        QTest::addRow("%s --help", p.Name) << path << "--help" << 0 << true << "Usage:";
        QTest::addRow("%s -h", p.Name) << path << "-h" << 0 << true << "Usage:";
        QTest::addRow("%s --version", p.Name) << path << "--version" << 0 << true << name + " " OMBRELAY_VERSION;
        QTest::addRow("%s --no-such-option", p.Name) << path << "--no-such-option" << 2 << false << "no-such-option";
    }
}

void TestCommandLines::withoutDisplay()
{
    QFETCH(QString, Program);
    QFETCH(QString, Argument);
    QFETCH(int, Status);
    QFETCH(bool, OnStdout);
    QFETCH(QString, Holds);

    // No display of any kind and the default platform: a program that reached for a window
    // system would abort here instead of answering.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(Program, {Argument});
    QVERIFY(p.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == Status, qPrintable(QStringLiteral("status %1; stderr: %2").arg(p.exitCode()).arg(err)));
    const QString& answer = OnStdout ? out : err;
    QVERIFY2(answer.contains(Holds), qPrintable(answer));
    if (Status != 0) {
        // The usage follows the problem, and nothing goes to standard output.
        QVERIFY2(err.contains(QLatin1String("Usage:")), qPrintable(err));
        QVERIFY(out.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestCommandLines)
#include "tst_command_lines.moc"
