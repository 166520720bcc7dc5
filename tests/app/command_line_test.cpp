// The window's command-line options.

#include <QTest>

#include "app/command_line.h"

using morvane::CommandLine;
using morvane::ParseCommandLine;
using morvane::Settings;

Q_DECLARE_METATYPE(CommandLine::Action)

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutOptionsTheDefaultsHold();
  void optionsSetTheSettings();
  void rejectsWhatItDoesNotKnow_data();
  void rejectsWhatItDoesNotKnow();
  void helpAndVersion();
};

void CommandLineTest::withoutOptionsTheDefaultsHold() {
  const CommandLine parsed = ParseCommandLine({"morvane"});
  QCOMPARE(parsed.action, CommandLine::Action::kRun);
  const Settings defaults;
  QCOMPARE(parsed.settings.lanzouHost, defaults.lanzouHost);
  QCOMPARE(parsed.settings.baiduHost, defaults.baiduHost);
  QCOMPARE(parsed.settings.updateUrl, defaults.updateUrl);
  QCOMPARE(parsed.settings.downloadUrl, defaults.downloadUrl);
  QCOMPARE(parsed.settings.http.caFile, defaults.http.caFile);
  QCOMPARE(parsed.settings.http.insecure, false);
}

void CommandLineTest::optionsSetTheSettings() {
  const CommandLine parsed = ParseCommandLine(
      {"morvane", "--lanzou-host", "127.0.0.1:8443", "--baidu-host=127.0.0.1:8080", "--cacert",
       "/tmp/证书.pem", "--insecure", "--update-url", "http://127.0.0.1:9/notice", "--download-url",
       "http://127.0.0.1:9/download"});
  QCOMPARE(parsed.action, CommandLine::Action::kRun);
  QCOMPARE(parsed.settings.lanzouHost, std::string("127.0.0.1:8443"));
  QCOMPARE(parsed.settings.baiduHost, std::string("127.0.0.1:8080"));
  QCOMPARE(parsed.settings.http.caFile, std::string("/tmp/证书.pem"));  // UTF-8 for the core
  QVERIFY(parsed.settings.http.insecure);
  QCOMPARE(parsed.settings.updateUrl, std::string("http://127.0.0.1:9/notice"));
  QCOMPARE(parsed.settings.downloadUrl, std::string("http://127.0.0.1:9/download"));
}

void CommandLineTest::rejectsWhatItDoesNotKnow_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::newRow("unknown option") << QStringList{"morvane", "--verbose"};
  QTest::newRow("missing value") << QStringList{"morvane", "--lanzou-host"};
  QTest::newRow("stray argument") << QStringList{"morvane", "https://pan.example/s/1"};
}

void CommandLineTest::rejectsWhatItDoesNotKnow() {
  QFETCH(QStringList, arguments);
  const CommandLine parsed = ParseCommandLine(arguments);
  QCOMPARE(parsed.action, CommandLine::Action::kUsageError);
  QVERIFY(!parsed.message.isEmpty());
}

void CommandLineTest::helpAndVersion() {
  const CommandLine help = ParseCommandLine({"morvane", "--help"});
  QCOMPARE(help.action, CommandLine::Action::kShowHelp);
  for (const char* option : {"--lanzou-host", "--baidu-host", "--cacert", "--insecure",
                             "--update-url", "--download-url"}) {
    QVERIFY2(help.message.contains(option), option);
  }
  const CommandLine version = ParseCommandLine({"morvane", "--version"});
  QCOMPARE(version.action, CommandLine::Action::kShowVersion);
  QCOMPARE(version.message, QStringLiteral("morvane 1.0"));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
