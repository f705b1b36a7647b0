#include "runtime/files.h"

#include <cstring>

namespace mox {

bool Files::fileExists(const std::string& name) { return !name.empty() && platform_.fileExists(name); }

int32_t Files::openFile(const std::string& name, int32_t mode, int32_t share) {
  if (name.empty() || mode < 1 || mode > 6 || share < 1 || share > 4) return 0;
  Open f;
  f.name = name;
  f.mode = mode;
  bool exists = platform_.fileExists(name);
  if (mode == 4) {
    // Emptying happens with the first write, so that an open followed by a failed write keeps the old file.
  } else if (exists) {
    auto content = platform_.readFile(name, kMaxFileBytes);
    if (!content) {
      // Too large or unreadable: reading gives nothing, and writing must not silently drop the rest.
      if (mode == 1) {
        f.content.clear();
      } else {
        return 0;
      }
    } else {
      f.content = std::move(*content);
    }
  } else if (mode == 1 || mode == 2 || mode == 3) {
    return 0;
  }
  int32_t number = next_++;
  open_.emplace(number, std::move(f));
  return number;
}

Text Files::readText(int32_t file, int32_t length) {
  auto it = open_.find(file);
  if (it == open_.end() || (length != -1 && length < 1)) return {};
  Open& f = it->second;
  if (f.mode == 2 || f.mode == 4 || f.mode == 5) return {};
  if (f.position >= f.content.size()) return {};
  size_t n = f.content.size() - f.position;
  if (length > 0) n = std::min(n, static_cast<size_t>(length));
  std::string_view chunk(f.content.data() + f.position, n);
  size_t end = chunk.size();
  for (size_t i = 0; i < chunk.size(); ++i) {
    auto c = static_cast<unsigned char>(chunk[i]);
    if (c == 0x00 || c == 0x1A) {
      end = i;
      break;
    }
    // A lead byte carries its trail byte with it, so a 0x1A trail byte does not end the text. A NUL is never a
    // trail byte: the lead byte before it stays, and the NUL ends the text.
    if (isLeadByte(c) && i + 1 < chunk.size() && chunk[i + 1] != '\0') ++i;
  }
  f.position += end;
  return Text(chunk.substr(0, end));
}

std::optional<std::string> Files::contentAfterWrite(const Open& f, std::string_view text) const {
  if (f.mode == 1) return std::nullopt;
  std::string content = f.content;
  if (content.size() < f.position) content.resize(f.position, '\0');
  content.replace(f.position, std::min(text.size(), content.size() - f.position), text);
  if (content.size() > kMaxFileBytes) return std::nullopt;
  return content;
}

bool Files::writeText(int32_t file, std::string_view text) {
  auto it = open_.find(file);
  if (it == open_.end()) return false;
  Open& f = it->second;
  std::optional<std::string> content = contentAfterWrite(f, text);
  if (!content || !platform_.replaceFile(f.name, *content)) return false;
  f.content = std::move(*content);
  f.position += text.size();
  return true;
}

void Files::writeTextLater(int32_t file, std::string_view text, std::function<void(bool)> done) {
  auto it = open_.find(file);
  std::optional<std::string> content;
  if (it != open_.end()) content = contentAfterWrite(it->second, text);
  if (!content) {
    done(false);
    return;
  }
  const size_t end = it->second.position + text.size();
  std::string bytes = *content;
  platform_.replaceFileLater(it->second.name, std::move(bytes),
                             [this, file, end, content = std::move(*content), done = std::move(done)](bool ok) {
                               auto f = open_.find(file);
                               if (ok && f != open_.end()) {
                                 f->second.content = content;
                                 f->second.position = end;
                               }
                               done(ok);
                             });
}

namespace {
uint32_t le32(std::span<const unsigned char> b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(std::span<const unsigned char> b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
bool tagIs(std::span<const unsigned char> b, size_t at, const char* tag) {
  return std::memcmp(b.data() + at, tag, 4) == 0;
}
}  // namespace

bool playSound(Platform& platform, std::string_view role, std::span<const unsigned char> bytes) {
  if (bytes.size() <= 35 || !tagIs(bytes, 0, "RIFF") || !tagIs(bytes, 8, "WAVE")) return false;
  uint64_t riffEnd = std::min<uint64_t>(8ull + le32(bytes, 4), bytes.size());
  std::optional<WaveFormat> format;
  std::span<const unsigned char> samples;
  bool haveData = false;
  for (uint64_t at = 12; at + 8 <= riffEnd && !(format && haveData);) {
    uint32_t size = le32(bytes, at + 4);
    uint64_t body = at + 8;
    uint64_t available = std::min<uint64_t>(size, bytes.size() - body);
    if (tagIs(bytes, at, "fmt ") && available >= 16) {
      WaveFormat w;
      w.formatTag = le16(bytes, body);
      w.channels = le16(bytes, body + 2);
      w.samplesPerSecond = le32(bytes, body + 4);
      w.bytesPerSecond = le32(bytes, body + 8);
      w.blockAlign = le16(bytes, body + 12);
      w.bitsPerSample = le16(bytes, body + 14);
      format = w;
    } else if (tagIs(bytes, at, "data")) {
      samples = bytes.subspan(body, available);
      haveData = true;
    }
    at = body + size + (size & 1);
  }
  if (!format || !haveData || samples.empty()) return false;
  platform.playSound(role, *format, samples);
  return true;
}

}  // namespace mox
