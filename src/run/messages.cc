#include "run/messages.h"

#include <cstring>

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
    case MessageId::kNotIndexed:
      // ２５６色ではありません (full-width digits)
      return "\x82\x51\x82\x54\x82\x55\x90\x46"
             "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
    case MessageId::kUnsupportedCompression:
      // %s は対応していない圧縮形式です
      return "%s \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2"
             "\x88\xB3\x8F\x6B\x8C\x60\x8E\xAE\x82\xC5\x82\xB7";
    case MessageId::kUnreadablePng:
      // %s は PNG fileとして読めません
      return "%s \x82\xCD PNG file"
             "\x82\xC6\x82\xB5\x82\xC4\x93\xC7\x82\xDF\x82\xDC\x82\xB9\x82\xF1";
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

// A message's bytes in order: the text before "%s", the name, the text after
// it, the line end.
struct MessageParts {
  std::string_view parts[4];
  size_t size() const {
    return parts[0].size() + parts[1].size() + parts[2].size() + parts[3].size();
  }
};

MessageParts partsOf(MessageId id, std::string_view name) {
  std::string_view text = messageTemplate(id);
  size_t slot = text.find("%s");
  if (slot == std::string_view::npos) return {{text, {}, {}, "\r\n"}};
  return {{text.substr(0, slot), name, text.substr(slot + 2), "\r\n"}};
}

}  // namespace

std::string formatMessage(MessageId id, std::string_view name) {
  MessageParts message = partsOf(id, name);
  std::string out;
  out.reserve(message.size());
  for (std::string_view part : message.parts) out.append(part);
  return out;
}

void Console::report(MessageId id, std::string_view name) {
  MessageParts message = partsOf(id, name);
  // Composed on the stack when it fits (it does unless the file name is very
  // long), so that reporting needs no memory: the out-of-memory message must
  // get out when none is left.
  char local[512];
  std::string composed;
  const char* bytes = local;
  if (message.size() <= sizeof local) {
    char* at = local;
    for (std::string_view part : message.parts) {
      if (part.empty()) continue;
      std::memcpy(at, part.data(), part.size());
      at += part.size();
    }
  } else {
    composed = formatMessage(id, name);
    bytes = composed.data();
  }
  // Nothing sensible can be done if standard output itself fails.
  (void)out_->write(bytes, message.size());
}

}  // namespace tessarn
