#include "desktop/web/web_platform.h"

#include <emscripten.h>

#include <cstdlib>

namespace mox::web {

namespace {

// clang-format off
EM_JS(double, moxNow, (), { return performance.now(); });
EM_JS(void, moxBox, (const char* text, const char* caption), {
  Module.moxPage.messageBox(UTF8ToString(text), UTF8ToString(caption));
});
EM_JS(int, moxCopy, (const char* text), { return Module.moxPage.copyText(UTF8ToString(text)) ? 1 : 0; });
EM_JS(char*, moxPageAddress, (), {
  const address = location.origin + location.pathname;
  const size = lengthBytesUTF8(address) + 1;
  const out = _malloc(size);
  stringToUTF8(address, out, size);
  return out;
});
EM_JS(void, moxFatal, (const char* text), { Module.moxPage.fatal(UTF8ToString(text)); });
EM_JS(void, moxStore, (int id, const char* name, const unsigned char* bytes, int size), {
  const data = HEAPU8.slice(bytes, bytes + size);
  Module.moxPage.store(UTF8ToString(name), data).then(function(ok) { Module._moxsim_write_done(id, ok ? 1 : 0); });
});
EM_JS(void, moxDownload, (int id, const char* name, const unsigned char* bytes, int size), {
  const data = HEAPU8.slice(bytes, bytes + size);
  const ok = Module.moxPage.download(UTF8ToString(name), data);
  setTimeout(function() { Module._moxsim_write_done(id, ok ? 1 : 0); }, 0);
});
EM_JS(void, moxSound, (const char* role, int channels, int rate, int bits, const unsigned char* pcm, int size), {
  Module.moxRuntime.playSound(UTF8ToString(role), channels, rate, bits, pcm, size);
});
// clang-format on

}  // namespace

uint32_t WebPlatform::tickCount() { return static_cast<uint32_t>(static_cast<uint64_t>(moxNow())); }

int WebPlatform::messageBox(const std::string& text, int flags, const std::string& caption) {
  // The logic only ever asks for boxes with a single OK button: the page shows the text and the answer is OK.
  (void)flags;
  moxBox(text.c_str(), caption.c_str());
  return kBoxOk;
}

void WebPlatform::fatal(const std::string& message) {
  moxFatal(message.c_str());
  std::abort();
}

bool WebPlatform::fileExists(const std::string& name) { return files_.contains(name); }

std::optional<std::string> WebPlatform::readFile(const std::string& name, size_t limit) {
  auto it = files_.find(name);
  if (it == files_.end() || it->second.size() > limit) return std::nullopt;
  return it->second;
}

bool WebPlatform::replaceFile(const std::string& name, std::string_view bytes) {
  // Nothing waits on this path in the page: the copy the logic reads changes now, the browser stores it later.
  replaceFileLater(name, std::string(bytes), [](bool) {});
  return true;
}

void WebPlatform::replaceFileLater(const std::string& name, std::string bytes, std::function<void(bool)> done) {
  const int id = nextWrite_++;
  Pending& p = pending_[id] = {name, std::move(bytes), std::move(done)};
  const auto* data = reinterpret_cast<const unsigned char*>(p.bytes.data());
  if (kept(name))
    moxStore(id, name.c_str(), data, static_cast<int>(p.bytes.size()));
  else
    moxDownload(id, name.c_str(), data, static_cast<int>(p.bytes.size()));
}

void WebPlatform::writeDone(int id, bool ok) {
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  Pending p = std::move(it->second);
  pending_.erase(it);
  // A write that failed leaves the stored copy as it was, and so the copy the logic reads.
  if (ok && kept(p.name)) files_[p.name] = std::move(p.bytes);
  if (p.done) p.done(ok);
}

std::string WebPlatform::filePath(const std::string& name) {
  if (kept(name)) return "浏览器里的 " + name;
  return "浏览器下载的 " + name;
}

void WebPlatform::playSound(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) {
  if (format.formatTag != 1 || format.channels == 0 || (format.bitsPerSample != 8 && format.bitsPerSample != 16)) {
    return;
  }
  const std::string name(role);
  moxSound(name.c_str(), format.channels, static_cast<int>(format.samplesPerSecond), format.bitsPerSample,
           samples.data(), static_cast<int>(samples.size()));
}

bool WebPlatform::copyText(const std::string& text) { return moxCopy(text.c_str()) != 0; }

// The page's own address: a link copied here opens where the page was opened from.
std::string WebPlatform::siteAddress() {
  char* address = moxPageAddress();
  std::string out = address;
  free(address);
  return out;
}

}  // namespace mox::web
