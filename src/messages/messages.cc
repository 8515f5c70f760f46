#include "messages/messages.h"

#include <charconv>
#include <cstring>

namespace tessarn {
namespace {

struct MessageText {
  std::string_view shiftJis;
  std::string_view utf8;     // the same Japanese text
  std::string_view english;
};

// Every message, without the line end. "%s" marks where the file name goes,
// "%d" where the numbers go.
MessageText textOf(MessageId id) {
  switch (id) {
    case MessageId::kJobListMissing:
      // tessarn.txtが見つかりません
      return {"tessarn.txt\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1",
              "tessarn.txt\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE"
              "\xE3\x81\x9B\xE3\x82\x93",
              "tessarn.txt not found"};
    case MessageId::kBitmapMissing:
      // %sが見つかりません
      return {"%s\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1",
              "%s\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B"
              "\xE3\x82\x93",
              "%s not found"};
    case MessageId::kNotBmp:
      // %s は BMP fileではありません
      return {"%s \x82\xCD BMP file"
              "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1",
              "%s \xE3\x81\xAF BMP file"
              "\xE3\x81\xA7\xE3\x81\xAF\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93",
              "%s is not a BMP file"};
    case MessageId::kNotIndexed:
      // ２５６色ではありません (full-width digits)
      return {"\x82\x51\x82\x54\x82\x55\x90\x46"
              "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1",
              "\xEF\xBC\x92\xEF\xBC\x95\xEF\xBC\x96\xE8\x89\xB2"
              "\xE3\x81\xA7\xE3\x81\xAF\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93",
              "%s is not an indexed-colour image of 256 colours or fewer"};
    case MessageId::kUnsupportedCompression:
      // %s は対応していない圧縮形式です
      return {"%s \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2"
              "\x88\xB3\x8F\x6B\x8C\x60\x8E\xAE\x82\xC5\x82\xB7",
              "%s \xE3\x81\xAF\xE5\xAF\xBE\xE5\xBF\x9C\xE3\x81\x97\xE3\x81\xA6\xE3\x81\x84\xE3\x81\xAA"
              "\xE3\x81\x84\xE5\x9C\xA7\xE7\xB8\xAE\xE5\xBD\xA2\xE5\xBC\x8F\xE3\x81\xA7\xE3\x81\x99",
              "%s uses a compression that is not supported"};
    case MessageId::kUnreadablePng:
      // %s は PNG fileとして読めません
      return {"%s \x82\xCD PNG file"
              "\x82\xC6\x82\xB5\x82\xC4\x93\xC7\x82\xDF\x82\xDC\x82\xB9\x82\xF1",
              "%s \xE3\x81\xAF PNG file"
              "\xE3\x81\xA8\xE3\x81\x97\xE3\x81\xA6\xE8\xAA\xAD\xE3\x82\x81\xE3\x81\xBE\xE3\x81\x9B"
              "\xE3\x82\x93",
              "%s cannot be read as a PNG file"};
    case MessageId::kCannotCreate:
      // %sが作成できません
      return {"%s\x82\xAA\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1",
              "%s\xE3\x81\x8C\xE4\xBD\x9C\xE6\x88\x90\xE3\x81\xA7\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x9B"
              "\xE3\x82\x93",
              "%s cannot be created"};
    case MessageId::kWriteFailed:
      // %sへの書き込みに失敗しました
      return {"%s\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9"
              "\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD",
              "%s\xE3\x81\xB8\xE3\x81\xAE\xE6\x9B\xB8\xE3\x81\x8D\xE8\xBE\xBC\xE3\x81\xBF\xE3\x81\xAB"
              "\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F",
              "writing to %s failed"};
    case MessageId::kTooManyPatterns:
      // パターンが%s個を超えました (%s: the pattern limit, 16384 unless set)
      return {"\x83\x70\x83\x5E\x81\x5B\x83\x93\x82\xAA"
              "%s"
              "\x8C\xC2\x82\xF0\x92\xB4\x82\xA6\x82\xDC\x82\xB5\x82\xBD",
              "\xE3\x83\x91\xE3\x82\xBF\xE3\x83\xBC\xE3\x83\xB3\xE3\x81\x8C"
              "%s"
              "\xE5\x80\x8B\xE3\x82\x92\xE8\xB6\x85\xE3\x81\x88\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F",
              "more than %s patterns"};
    case MessageId::kOutOfMemory:
      // メモリが足りません
      return {"\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1",
              "\xE3\x83\xA1\xE3\x83\xA2\xE3\x83\xAA\xE3\x81\x8C\xE8\xB6\xB3\xE3\x82\x8A\xE3\x81\xBE"
              "\xE3\x81\x9B\xE3\x82\x93",
              "out of memory"};
    case MessageId::kTwoPalettes:
      // %s の %d,%d のタイルは二つのパレットの色を使っています
      return {"%s \x82\xCC %d,%d \x82\xCC\x83^\x83" "C\x83\x8B\x82\xCD\x93\xF1\x82\xC2\x82\xCC\x83p\x83\x8C\x83" "b\x83g\x82\xCC\x90" "F\x82\xF0\x8Eg\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7",
              "%s \xE3\x81\xAE %d,%d \xE3\x81\xAE\xE3\x82\xBF\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAF\xE4\xBA\x8C\xE3\x81\xA4\xE3\x81\xAE\xE3\x83\x91\xE3\x83\xAC\xE3\x83\x83\xE3\x83\x88\xE3\x81\xAE\xE8\x89\xB2\xE3\x82\x92\xE4\xBD\xBF\xE3\x81\xA3\xE3\x81\xA6\xE3\x81\x84\xE3\x81\xBE\xE3\x81\x99",
              "%s: the tile at %d,%d uses colours of two palettes"};
    case MessageId::kPaletteTooHigh:
      // %s の %d,%d のタイルのパレット %d はこの機種では使えません
      return {"%s \x82\xCC %d,%d \x82\xCC\x83^\x83" "C\x83\x8B\x82\xCC\x83p\x83\x8C\x83" "b\x83g %d \x82\xCD\x82\xB1\x82\xCC\x8B@\x8E\xED\x82\xC5\x82\xCD\x8Eg\x82\xA6\x82\xDC\x82\xB9\x82\xF1",
              "%s \xE3\x81\xAE %d,%d \xE3\x81\xAE\xE3\x82\xBF\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAE\xE3\x83\x91\xE3\x83\xAC\xE3\x83\x83\xE3\x83\x88 %d \xE3\x81\xAF\xE3\x81\x93\xE3\x81\xAE\xE6\xA9\x9F\xE7\xA8\xAE\xE3\x81\xA7\xE3\x81\xAF\xE4\xBD\xBF\xE3\x81\x88\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93",
              "%s: the tile at %d,%d is in palette %d, which this target cannot hold"};
    case MessageId::kAreaTwoPalettes:
      // %s の %d,%d の16×16の区画は二つのパレットを使っています
      return {"%s \x82\xCC %d,%d \x82\xCC" "16\x81~16\x82\xCC\x8B\xE6\x89\xE6\x82\xCD\x93\xF1\x82\xC2\x82\xCC\x83p\x83\x8C\x83" "b\x83g\x82\xF0\x8Eg\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7",
              "%s \xE3\x81\xAE %d,%d \xE3\x81\xAE" "16\xC3\x97" "16\xE3\x81\xAE\xE5\x8C\xBA\xE7\x94\xBB\xE3\x81\xAF\xE4\xBA\x8C\xE3\x81\xA4\xE3\x81\xAE\xE3\x83\x91\xE3\x83\xAC\xE3\x83\x83\xE3\x83\x88\xE3\x82\x92\xE4\xBD\xBF\xE3\x81\xA3\xE3\x81\xA6\xE3\x81\x84\xE3\x81\xBE\xE3\x81\x99",
              "%s: the 16x16 area at %d,%d uses two palettes"};
  }
  return {};  // not reached: every message is listed
}

std::string_view messageTemplate(MessageId id, MessageLanguage language) {
  const MessageText text = textOf(id);
  switch (language) {
    case MessageLanguage::kShiftJis:
      return text.shiftJis;
    case MessageLanguage::kUtf8:
      return text.utf8;
    case MessageLanguage::kEnglish:
      return text.english;
  }
  return text.shiftJis;
}

// A message's pieces in order (the text between the slots, the name, the
// numbers, the line end), each handed to `append`.
template <typename Append>
void composeMessage(MessageId id, std::string_view name, MessageLanguage language, const MessageNumbers& numbers,
                    Append append) {
  std::string_view text = messageTemplate(id, language);
  size_t number = 0;
  for (size_t at; (at = text.find('%')) != std::string_view::npos && at + 1 < text.size();) {
    append(text.substr(0, at));
    if (text[at + 1] == 's') {
      append(name);
    } else {
      char digits[24];
      const auto [end, ignored] = std::to_chars(digits, digits + sizeof digits, numbers[number++ % numbers.size()]);
      append(std::string_view(digits, static_cast<size_t>(end - digits)));
    }
    text.remove_prefix(at + 2);
  }
  append(text);
  append(kLineEnd);
}

}  // namespace

std::string formatMessage(MessageId id, std::string_view name, MessageLanguage language,
                          const MessageNumbers& numbers) {
  std::string out;
  composeMessage(id, name, language, numbers, [&](std::string_view part) { out.append(part); });
  return out;
}

void Console::report(MessageId id, std::string_view name, const MessageNumbers& numbers) {
  // Composed on the stack: the out-of-memory message must get out when no
  // memory is left, so reporting allocates nothing unless a file name is
  // very long.
  char local[512];
  size_t size = 0;
  composeMessage(id, name, language_, numbers, [&](std::string_view part) {
    if (size + part.size() <= sizeof local) std::memcpy(local + size, part.data(), part.size());
    size += part.size();
  });
  // Nothing sensible can be done if standard output itself fails.
  if (size <= sizeof local) {
    (void)out_->write(local, size);
  } else {
    const std::string composed = formatMessage(id, name, language_, numbers);
    (void)out_->write(composed.data(), composed.size());
  }
}

}  // namespace tessarn
