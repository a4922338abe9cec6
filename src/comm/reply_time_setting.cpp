#include "reply_time_setting.h"

#include <QSettings>
#include <QString>

#include "comm/operator_texts.h"
#include "comm/serial_line.h"

namespace trelvan {

int ConfiguredReplyMs(const std::filesystem::path& folder, std::string* problem) {
  const QString file = QString::fromStdString((folder / "trelvan.ini").string());
  const QSettings settings(file, QSettings::IniFormat);
  const QVariant value = settings.value("Line/reply_ms");
  if (!value.isValid()) return kDefaultTimeOutMs;
  bool ok = false;
  const int ms = value.toString().trimmed().toInt(&ok);
  if (ok && ms >= kMinReplyMs && ms <= kMaxReplyMs) return ms;
  if (problem) *problem = ReplyMsSettingProblemText(value.toString().left(20).toStdString());
  return kDefaultTimeOutMs;
}

} // namespace trelvan
