// The registry file and the settings store over it: types, missing values, broken files, rewrites.
#include "TestSupport.h"
#include "core/AppError.h"
#include "core/AppSettings.h"
#include "core/SettingsStore.h"
#include "platform/Registry.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

class TestSettingsStore : public QObject
{
    Q_OBJECT

private:
    static QString readOrError(SettingsStore &store, const QString &name)
    {
        try {
            return store.readString(name);
        } catch (const AppError &e) {
            return QStringLiteral("error: ") + e.message();
        }
    }
    static QString writeOrError(const QString &name, const QString &value)
    {
        SettingsStore store = platform::programSettings();
        store.open();
        try {
            store.writeString(name, value);
            return QStringLiteral("ok");
        } catch (const AppError &e) {
            return QStringLiteral("error: ") + e.message();
        }
    }

private slots:
    // What listens for the interpreter hears each change once, and nothing when it stays.
    void interpreterChangeIsSignalledOnce()
    {
        AppSettings &settings = AppSettings::instance();
        const QString before = settings.interpreterPath();
        QSignalSpy changed(&settings, &AppSettings::interpreterChanged);
        settings.setInterpreterPath(QStringLiteral("/opt/php 8/bin/php"));
        settings.setInterpreterPath(QStringLiteral("/opt/php 8/bin/php"));
        settings.setInterpreterPath(QString());
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("/opt/php 8/bin/php"));
        QCOMPARE(changed.at(1).at(0).toString(), QString());
        QCOMPARE(settings.interpreterPath(), QString());
        settings.setInterpreterPath(before);
    }

    void firstOpenCreatesEmptyKey()
    {
        IsolatedEnvironment env;
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(store.readString(QStringLiteral("configured")), QString());
        QCOMPARE(store.readString(QStringLiteral("Interpreter")), QString());
        store.close();
        // A REGEDIT4 file's line ends, as regedit writes it.
        QCOMPARE(env.readRegistry(), QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\r\n\r\n"));
    }

    void writtenValuesReadBackAndOthersAreKept()
    {
        IsolatedEnvironment env;
        env.writeRegistry("REGEDIT4\r\n\r\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
                          "\"Path\"=\"C:\\\\x \\\"y\\\"\"\r\n"
                          "\"Count\"=dword:0000002a\r\n"
                          "@=hex:01,02,\\\r\n  03\r\n"
                          "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORLITH]\r\n"
                          "\"Extra\"=hex(2):25,48,4f,4d,45,25,00\r\n");
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("/opt/php 8/bin/php \"ä\"")), QStringLiteral("ok"));
        QCOMPARE(writeOrError(QStringLiteral("configured"), QStringLiteral("1")), QStringLiteral("ok"));
        QCOMPARE(writeOrError(QStringLiteral("interpreter"), QStringLiteral("/usr/bin/php")), QStringLiteral("ok"));

        SettingsStore store = platform::programSettings();
        store.open();
        // Value names are case-insensitive, as in the registry; the stored spelling stays.
        QCOMPARE(store.readString(QStringLiteral("Interpreter")), QStringLiteral("/usr/bin/php"));
        QCOMPARE(store.readString(QStringLiteral("configured")), QStringLiteral("1"));
        // Expandable strings read as stored, without expansion.
        QCOMPARE(store.readString(QStringLiteral("Extra")), QStringLiteral("%HOME%"));

        auto doc = RegDocument::parse(env.readRegistry());
        QVERIFY(doc);
        RegKey *other = doc->findKey(QStringLiteral("Software\\Other"));
        QVERIFY(other);
        QCOMPARE(other->values.size(), 3);
        QCOMPARE(other->values[0].data, QByteArray("C:\\x \"y\"") + '\0');
        QCOMPARE(other->values[1].type, int(REG_DWORD));
        QCOMPARE(other->values[1].data, QByteArray("\x2a\0\0\0", 4));
        QCOMPARE(other->values[2].name, QString());
        QCOMPARE(other->values[2].data, QByteArray("\x01\x02\x03"));
        RegKey *own = doc->findKey(QStringLiteral("Software\\Korlith"));
        QCOMPARE(own->values.size(), 3);
        QCOMPARE(own->values[1].name, QStringLiteral("Interpreter"));
        QVERIFY(!QFile::exists(env.registryFile() + QStringLiteral(".lock")));
    }

    // A write changes the one value's line and no other byte: comments, blank lines, spacing,
    // line ends, names that are not UTF-8, other keys, a large file of comments.
    void writesKeepEveryOtherByte_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray head = "REGEDIT4\r\n; von Hand gepflegt\r\n\r\n";
        QTest::newRow("value replaced") << head + "[HKEY_LOCAL_MACHINE\\Software\\Korlith]\r\n  \"Interpreter\"  =  \"/alt\"  \r\n; danach\r\n\"gr\xfc\xdf\"=\"\xfc\"\r\n"
                                        << head + "[HKEY_LOCAL_MACHINE\\Software\\Korlith]\r\n  \"Interpreter\"=\"/usr/bin/php\"  \r\n; danach\r\n\"gr\xfc\xdf\"=\"\xfc\"\r\n";
        QTest::newRow("value added to its key") << head + "[HKEY_LOCAL_MACHINE\\Software\\Korlith]\r\n\"configured\"=\"1\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\\xfc]\r\n;x\r\n"
                                                << head + "[HKEY_LOCAL_MACHINE\\Software\\Korlith]\r\n\"configured\"=\"1\"\r\n\"Interpreter\"=\"/usr/bin/php\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\\xfc]\r\n;x\r\n";
        QTest::newRow("key added at the end") << QByteArray("REGEDIT4\n; nur ein Kommentar")
                                              << QByteArray("REGEDIT4\n; nur ein Kommentar\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"Interpreter\"=\"/usr/bin/php\"\n\n");
        QByteArray comments;
        for (int i = 0; i < 200000; ++i)
            comments += "; Kommentarzeile " + QByteArray::number(i) + '\n';
        QTest::newRow("8 MB of comments") << "REGEDIT4\n" + comments + "[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"Interpreter\"=\"x\"\n"
                                          << "REGEDIT4\n" + comments + "[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"Interpreter\"=\"/usr/bin/php\"\n";
    }
    void writesKeepEveryOtherByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        IsolatedEnvironment env;
        env.writeRegistry(before);
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("/usr/bin/php")), QStringLiteral("ok"));
        QCOMPARE(env.readRegistry(), after);
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(store.readString(QStringLiteral("Interpreter")), QStringLiteral("/usr/bin/php"));
    }

    void valuesOfOtherTypesAreReadErrors()
    {
        IsolatedEnvironment env;
        env.writeRegistry("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n"
                          "\"configured\"=dword:00000001\n\"Interpreter\"=hex:2f,00\n\"Empty\"=hex:\n");
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(readOrError(store, QStringLiteral("configured")), QStringLiteral("error: Invalid data type for 'configured'"));
        QCOMPARE(readOrError(store, QStringLiteral("Interpreter")), QStringLiteral("error: Invalid data type for 'Interpreter'"));
        // A value without data reads as empty text, whatever its type.
        QCOMPARE(readOrError(store, QStringLiteral("Empty")), QString());
        QCOMPARE(readOrError(store, QStringLiteral("missing")), QString());
        store.close();
        // Writing replaces the value with a string.
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("/usr/bin/php")), QStringLiteral("ok"));
        store.open();
        QCOMPARE(readOrError(store, QStringLiteral("Interpreter")), QStringLiteral("/usr/bin/php"));
    }

    void corruptFileIsNeverOverwritten_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no header") << QByteArray("[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\"\n");
        QTest::newRow("garbage") << QByteArray("REGEDIT4\n\x01\x02 not a registry\n");
        QTest::newRow("unterminated string") << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"configured\"=\"1\n");
        QTest::newRow("value before key") << QByteArray("REGEDIT4\n\"configured\"=\"1\"\n");
        QTest::newRow("other root") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Korlith]\n");
        QTest::newRow("bad hex") << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"x\"=hex:zz\n");
        QTest::newRow("short dword") << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"x\"=dword:1\n");
    }

    void corruptFileIsNeverOverwritten()
    {
        QFETCH(QByteArray, text);
        IsolatedEnvironment env;
        env.writeRegistry(text);
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(store.readString(QStringLiteral("configured")), QString());
        store.close();
        QCOMPARE(writeOrError(QStringLiteral("configured"), QStringLiteral("1")),
                 QStringLiteral("error: Failed to set data for 'configured'"));
        QCOMPARE(env.readRegistry(), text);
    }

    void emptyFileIsANewStore()
    {
        IsolatedEnvironment env;
        for (const QByteArray &empty : {QByteArray(), QByteArray("\n\r\n")}) {
            env.writeRegistry(empty);
            SettingsStore store = platform::programSettings();
            store.open();
            QCOMPARE(store.readString(QStringLiteral("configured")), QString());
            store.close();
            QCOMPARE(writeOrError(QStringLiteral("configured"), QStringLiteral("1")), QStringLiteral("ok"));
            QVERIFY(env.readRegistry().contains("[HKEY_LOCAL_MACHINE\\Software\\Korlith]\r\n\"configured\"=\"1\"\r\n"));
        }
    }

    // A pipe or a device where the file should be: read as nothing, at once, and never written.
    void oddFilesNeitherBlockNorAreWrittenThrough()
    {
        IsolatedEnvironment env;
        QDir().mkpath(env.configHome() + QStringLiteral("/Korlith"));
        const QByteArray file = QFile::encodeName(env.registryFile());
        QVERIFY(mkfifo(file.constData(), 0600) == 0);
        for (int round = 0; round < 2; ++round) {
            SettingsStore store = platform::programSettings();
            store.open();
            QCOMPARE(store.readString(QStringLiteral("Interpreter")), QString());
            store.close();
            QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("/usr/bin/php")),
                     QStringLiteral("error: Failed to set data for 'Interpreter'"));
            struct stat st;
            QVERIFY(lstat(file.constData(), &st) == 0);
            QVERIFY(round == 0 ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
            // Then a link to an endless device.
            QVERIFY(unlink(file.constData()) == 0);
            QVERIFY(symlink("/dev/zero", file.constData()) == 0);
        }
    }

    // Many values, and the same names again: each line costs the same, the last one holds.
    void largeFilesParseInOnePass()
    {
        QByteArray text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n";
        const int count = 45000;
        for (int i = 0; i < count; ++i)
            text += "\"wert" + QByteArray::number(i) + "\"=\"" + QByteArray::number(i) + "\"\n";
        text += "\"WERT7\"=\"sieben\"\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"a\"=\"b\"\n"
                "[hkey_local_machine\\software\\korlith]\n\"wert8\"=\"acht\"\n";
        const auto doc = platform::RegDocument::parse(text);
        QVERIFY(doc);
        QCOMPARE(doc->keys.size(), 2);
        const platform::RegKey &key = doc->keys.first();
        QCOMPARE(key.values.size(), count);
        QCOMPARE(key.values.at(7).data, QByteArray("sieben", 7));
        QCOMPARE(key.values.at(7).name, QStringLiteral("WERT7"));
        QCOMPARE(key.values.at(8).data, QByteArray("acht", 5));
        QCOMPARE(key.values.last().data, QByteArray::number(count - 1) + '\0');
    }

    void unwritablePlaceFailsWrites()
    {
        IsolatedEnvironment env;
        // A file where the Korlith directory should be: nothing can be created below it.
        writeFile(env.configHome() + QStringLiteral("/Korlith"), "not a directory");
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(store.readString(QStringLiteral("Interpreter")), QString());
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("/usr/bin/php")),
                 QStringLiteral("error: Failed to set data for 'Interpreter'"));
        QCOMPARE(readAll(env.configHome() + QStringLiteral("/Korlith")), QByteArray("not a directory"));
    }

    void readOnlyFileStillReads()
    {
        if (geteuid() == 0)
            QSKIP("file permissions do not bind root");
        IsolatedEnvironment env;
        const QByteArray text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korlith]\n\"Interpreter\"=\"/usr/bin/php\"\n\n";
        env.writeRegistry(text);
        QFile::setPermissions(env.configHome() + QStringLiteral("/Korlith"), QFile::ReadOwner | QFile::ExeOwner);
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(store.readString(QStringLiteral("Interpreter")), QStringLiteral("/usr/bin/php"));
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("x")),
                 QStringLiteral("error: Failed to set data for 'Interpreter'"));
        QFile::setPermissions(env.configHome() + QStringLiteral("/Korlith"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(env.readRegistry(), text);
    }

    // Quoted strings escape their backslashes and quotes on the way in, and read back as written.
    void quotedStringsRoundTrip()
    {
        IsolatedEnvironment env;
        for (const QString &value : {QStringLiteral("/opt/a\\b/php"), QStringLiteral("C:\\PHP\\php.exe"),
                                     QStringLiteral("\\\\server\\share"), QStringLiteral("endet mit \\"),
                                     QStringLiteral("\"zitiert\" \\\" gemischt")}) {
            QCOMPARE(writeOrError(QStringLiteral("Interpreter"), value), QStringLiteral("ok"));
            SettingsStore store = platform::programSettings();
            store.open();
            QCOMPARE(store.readString(QStringLiteral("Interpreter")), value);
            store.close();
        }
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), QStringLiteral("/opt/a\\b/php")), QStringLiteral("ok"));
        QVERIFY(env.readRegistry().contains("\"Interpreter\"=\"/opt/a\\\\b/php\""));
    }

    void stringsWithoutQuotedFormRoundTrip()
    {
        IsolatedEnvironment env;
        const QString multi = QStringLiteral("line one\nline two\r\n");
        QCOMPARE(writeOrError(QStringLiteral("Interpreter"), multi), QStringLiteral("ok"));
        QVERIFY(env.readRegistry().contains("\"Interpreter\"=hex(1):"));
        SettingsStore store = platform::programSettings();
        store.open();
        QCOMPARE(store.readString(QStringLiteral("Interpreter")), multi);
    }

    void configuredMeansExactlyOne()
    {
        QVERIFY(isConfiguredValue(QStringLiteral("1")));
        QVERIFY(!isConfiguredValue(QStringLiteral("1 ")));
        QVERIFY(!isConfiguredValue(QStringLiteral("01")));
        QVERIFY(!isConfiguredValue(QStringLiteral("true")));
        QVERIFY(!isConfiguredValue(QString()));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
