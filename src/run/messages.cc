#include "run/messages.h"

namespace tessarn {
namespace {

// Shift_JIS bytes of every message, without the line end. "%s" marks where
// the file name goes.
std::string_view messageTemplate(MessageId id) {
  switch (id) {
    case MessageId::kJobListMissing:
      // tessarn.txtが見つかりません
      return "tessarn.txt\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
    case MessageId::kBitmapMissing:
      // %sが見つかりません
      return "%s\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
    case MessageId::kNotBmp:
      // %s は BMP fileではありません
      return "%s \x82\xCD BMP file"
             "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
    case MessageId::kNotEightBit:
      // ２５６色ではありません (full-width digits)
      return "\x82\x51\x82\x54\x82\x55\x90\x46"
             "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
    case MessageId::kUnsupportedCompression:
      // %s は対応していない圧縮形式です
      return "%s \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2"
             "\x88\xB3\x8F\x6B\x8C\x60\x8E\xAE\x82\xC5\x82\xB7";
    case MessageId::kCannotCreate:
      // %sが作成できません
      return "%s\x82\xAA\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1";
    case MessageId::kWriteFailed:
      // %sへの書き込みに失敗しました
      return "%s\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9"
             "\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
    case MessageId::kTooManyPatterns:
      // パターンが16384個を超えました
      return "\x83\x70\x83\x5E\x81\x5B\x83\x93\x82\xAA"
             "16384"
             "\x8C\xC2\x82\xF0\x92\xB4\x82\xA6\x82\xDC\x82\xB5\x82\xBD";
    case MessageId::kOutOfMemory:
      // メモリが足りません
      return "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
  }
  return {};
}

}  // namespace

std::string formatMessage(MessageId id, std::string_view name) {
  std::string_view text = messageTemplate(id);
  std::string out;
  size_t slot = text.find("%s");
  if (slot == std::string_view::npos) {
    out = text;
  } else {
    out.append(text.substr(0, slot));
    out.append(name);
    out.append(text.substr(slot + 2));
  }
  out.append("\r\n");
  return out;
}

void Console::report(MessageId id, std::string_view name) {
  std::string bytes = formatMessage(id, name);
  // Nothing sensible can be done if standard output itself fails.
  (void)out_->write(bytes.data(), bytes.size());
}

}  // namespace tessarn
