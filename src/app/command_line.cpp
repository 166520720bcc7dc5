#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "version.h"

namespace morvane {

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Turns share links of Baidu netdisk, Chengtong netdisk and Lanzou cloud into direct "
      "download addresses."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and exit."));
  const QCommandLineOption version(QStringLiteral("version"),
                                   QStringLiteral("Show the version and exit."));
  const QCommandLineOption lanzouHost(
      QStringLiteral("lanzou-host"),
      QStringLiteral("Lanzou web host (frame page and /ajaxm.php, over https)."),
      QStringLiteral("HOST[:PORT]"));
  const QCommandLineOption baiduHost(
      QStringLiteral("baidu-host"),
      QStringLiteral("Baidu netdisk web host (/api/sharedownload, over http)."),
      QStringLiteral("HOST[:PORT]"));
  const QCommandLineOption caFile(QStringLiteral("cacert"),
                                  QStringLiteral("Also trust the CA certificates in FILE."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption insecure(QStringLiteral("insecure"),
                                    QStringLiteral("Do not verify certificates."));
  const QCommandLineOption updateUrl(QStringLiteral("update-url"),
                                     QStringLiteral("Page that announces the latest version."),
                                     QStringLiteral("URL"));
  const QCommandLineOption downloadUrl(
      QStringLiteral("download-url"),
      QStringLiteral("Page opened when a newer version is announced."), QStringLiteral("URL"));
  parser.addOptions(
      {help, version, lanzouHost, baiduHost, caFile, insecure, updateUrl, downloadUrl});

  CommandLine result;
  if (!parser.parse(arguments)) {
    result.action = CommandLine::Action::kUsageError;
    result.message = parser.errorText();
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.action = CommandLine::Action::kUsageError;
    result.message = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
    return result;
  }
  if (parser.isSet(help)) {
    result.action = CommandLine::Action::kShowHelp;
    result.message = parser.helpText();
    return result;
  }
  if (parser.isSet(version)) {
    result.action = CommandLine::Action::kShowVersion;
    result.message =
        QStringLiteral("morvane ") + QString::fromUtf8(kVersion.data(), kVersion.size());
    return result;
  }
  Settings& settings = result.settings;
  // Qt has decoded the arguments from the locale; the core takes UTF-8.
  if (parser.isSet(lanzouHost)) settings.lanzouHost = parser.value(lanzouHost).toStdString();
  if (parser.isSet(baiduHost)) settings.baiduHost = parser.value(baiduHost).toStdString();
  if (parser.isSet(caFile)) settings.http.caFile = parser.value(caFile).toStdString();
  if (parser.isSet(insecure)) settings.http.insecure = true;
  if (parser.isSet(updateUrl)) settings.updateUrl = parser.value(updateUrl).toStdString();
  if (parser.isSet(downloadUrl)) settings.downloadUrl = parser.value(downloadUrl).toStdString();
  return result;
}

}  // namespace morvane
