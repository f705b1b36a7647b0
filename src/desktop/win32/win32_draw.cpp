#include "desktop/win32/win32_draw.h"

#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "assets/assets.h"
#include "runtime/wide.h"
#include "ui/paint/resample.h"

namespace mox::win32 {

namespace {

// Owns one COM interface pointer.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// COM on the calling thread, brought up at the first picture the thread decodes and never taken down: the
// factory below, made once, must outlive every thread that used it, and a thread already in a single-threaded
// apartment keeps it.
bool comReady() {
  thread_local const bool ready = [] {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
  }();
  return ready;
}

IWICImagingFactory* wicFactory() {
  // Created on first use and kept for the life of the process.
  static IWICImagingFactory* factory = [] {
    IWICImagingFactory* f = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&f)))) {
      return static_cast<IWICImagingFactory*>(nullptr);
    }
    return f;
  }();
  return factory;
}

uint32_t opaque(uint32_t bgr) {
  // 0x00BBGGRR to 0xFFRRGGBB.
  return 0xFF000000u | ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

int CALLBACK collectFace(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM param) {
  auto* faces = reinterpret_cast<std::vector<std::wstring>*>(param);
  const std::wstring name = lf->lfFaceName;
  // '@' names are the same faces turned for vertical writing.
  if (!name.empty() && name[0] != L'@' &&
      std::none_of(faces->begin(), faces->end(), [&](const std::wstring& f) { return sameIgnoringCase(f, name); })) {
    faces->push_back(name);
  }
  return 1;
}

}  // namespace

// ---- canvas ----

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  dc_ = CreateCompatibleDC(nullptr);
  bitmap_ = dc_ ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bitmap_) return;
  old_ = SelectObject(dc_, bitmap_);
  pixels_ = static_cast<uint32_t*>(bits);
  SetBkMode(dc_, TRANSPARENT);
}

Canvas::~Canvas() {
  if (dc_ && old_) SelectObject(dc_, old_);
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
}

void Canvas::copyFrom(const Canvas& other, Rect r) {
  r = paint::intersect(r, {0, 0, std::min(width_, other.width_), std::min(height_, other.height_)});
  if (paint::empty(r)) return;
  GdiFlush();
  for (int y = r.y; y < r.y + r.h; ++y) {
    std::copy_n(other.pixels_ + static_cast<size_t>(y) * other.width_ + r.x, r.w, row(y) + r.x);
  }
}

void fillRect(Canvas& target, Rect r, uint32_t bgr) {
  r = paint::intersect(r, {0, 0, target.width(), target.height()});
  if (paint::empty(r)) return;
  const uint32_t p = opaque(bgr);
  for (int y = r.y; y < r.y + r.h; ++y) std::fill_n(target.row(y) + r.x, r.w, p);
}

void blend(Canvas& target, const Image& image, int x, int y, Rect clip, uint8_t alpha) {
  const Rect r = paint::intersect(paint::intersect(clip, {x, y, image.width, image.height}),
                                  {0, 0, target.width(), target.height()});
  if (paint::empty(r) || alpha == 0) return;
  for (int ty = r.y; ty < r.y + r.h; ++ty) {
    const uint32_t* src = image.pixels.data() + static_cast<size_t>(ty - y) * image.width + (r.x - x);
    uint32_t* dst = target.row(ty) + r.x;
    if (image.opaque && alpha == 255) {
      std::copy_n(src, r.w, dst);
      continue;
    }
    for (int i = 0; i < r.w; ++i) {
      uint32_t s = src[i];
      if (alpha != 255) {
        // Premultiplied: every channel scales with the extra alpha.
        uint32_t scaled = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          scaled |= ((((s >> shift) & 0xFF) * alpha + 127) / 255) << shift;
        }
        s = scaled;
      }
      const uint32_t a = s >> 24;
      if (a == 0) continue;
      if (a == 255) {
        dst[i] = s;
        continue;
      }
      const uint32_t d = dst[i];
      uint32_t out = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * (255 - a) + 127) / 255;
        out |= std::min<uint32_t>(c, 255) << shift;
      }
      dst[i] = out;
    }
  }
}

// ---- pictures ----

std::optional<Image> decodeImage(std::span<const unsigned char> bytes) {
  IWICImagingFactory* factory = comReady() ? wicFactory() : nullptr;
  if (!factory || bytes.empty()) return std::nullopt;
  Com<IWICStream> stream;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
  Com<IWICFormatConverter> converter;
  if (FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.out())) ||
      FAILED(decoder->GetFrame(0, frame.out())) || FAILED(factory->CreateFormatConverter(converter.out())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom))) {
    return std::nullopt;
  }
  UINT w = 0, h = 0;
  if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 16384 || h > 16384) return std::nullopt;
  Image image;
  image.width = static_cast<int>(w);
  image.height = static_cast<int>(h);
  image.pixels.resize(static_cast<size_t>(w) * h);
  if (FAILED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(image.pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(image.pixels.data())))) {
    return std::nullopt;
  }
  image.opaque = std::all_of(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return (p >> 24) == 255; });
  return image;
}

namespace {
std::optional<Image> decodeAsset(const std::string& name) {
  const assets::Asset* a = assets::find(name);
  if (!a) return std::nullopt;
  if (a->pixels.empty()) return decodeImage(a->bytes);
  // Carried decoded: no decoder needed.
  Image image;
  image.width = a->width;
  image.height = a->height;
  image.pixels.assign(a->pixels.begin(), a->pixels.end());
  image.opaque = std::all_of(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return (p >> 24) == 255; });
  return image;
}
}  // namespace

const Image* Pictures::get(const std::string& name) {
  if (name.empty()) return nullptr;
  // An announced picture is pending until the decoding thread has it.
  return once(plain_, pending_, name, [&] { return decodeAsset(name); });
}

void Pictures::announce(const paint::DisplayList& list, const paint::Scale& scale) {
  std::lock_guard lock(mutex_);
  if (announced_) return;
  announced_ = true;
  for (const paint::Command& command : list) {
    const auto* p = std::get_if<paint::Picture>(&command);
    if (!p || p->asset.empty()) continue;
    std::string name = paint::pictureSource(p->asset, scale).asset;
    if (!scale.identity() && !p->tile) resampleAhead_.push_back(*p);
    if (plain_.contains(name) || !pending_.insert(name).second) continue;
    ahead_.push_back(std::move(name));
  }
  scale_ = scale;
  decoded_.notify_all();
}

void Pictures::decodeAnnounced() {
  std::unique_lock lock(mutex_);
  decoded_.wait(lock, [&] { return announced_; });
  const std::vector<std::string> names = std::move(ahead_);
  for (const std::string& name : names) {
    lock.unlock();
    std::optional<Image> image = decodeAsset(name);
    lock.lock();
    plain_.emplace(name, std::move(image));
    pending_.erase(name);
    decoded_.notify_all();
  }
  const std::vector<paint::Picture> pictures = std::move(resampleAhead_);
  const paint::Scale scale = scale_;
  lock.unlock();
  for (auto p = pictures.rbegin(); p != pictures.rend(); ++p) {
    const paint::PictureSource source = paint::pictureSource(p->asset, scale);
    if (const Image* image = get(source.asset)) {
      const Rect r = screenPlace(*p, *image, source.density, scale);
      sized(source.asset, p->key, r.w, r.h);
    }
  }
}

template <typename Key, typename Make>
const Image* Pictures::once(std::map<Key, std::optional<Image>>& made, std::set<Key>& making, const Key& key,
                            Make make) {
  std::unique_lock lock(mutex_);
  auto it = made.find(key);
  while (it == made.end() && making.contains(key)) {
    decoded_.wait(lock);
    it = made.find(key);
  }
  if (it == made.end()) {
    making.insert(key);
    lock.unlock();
    std::optional<Image> image = make();
    lock.lock();
    making.erase(key);
    it = made.emplace(key, std::move(image)).first;
    decoded_.notify_all();
  }
  // Never removed or replaced: the pointer stays valid while other threads add more.
  return it->second ? &*it->second : nullptr;
}

const Image* Pictures::keyed(const std::string& name, uint32_t colour) {
  return once(keyed_, keying_, std::make_pair(name, colour), [&] {
    std::optional<Image> out;
    if (const Image* plain = get(name)) {
      out = *plain;
      if (paint::keyOut(out->pixels, colour)) out->opaque = false;
    }
    return out;
  });
}

const Image* Pictures::sized(const std::string& name, const std::optional<uint32_t>& key, int width, int height) {
  const Image* source = key ? keyed(name, *key) : get(name);
  if (!source || (source->width == width && source->height == height)) return source;
  if (width <= 0 || height <= 0) return nullptr;
  SizedKey id{name, key, width, height};
  if (!refiner_.enabled()) {
    return once(sized_, sizing_, id, [&] {
      Image out{width, height, source->opaque,
                paint::resample(source->pixels, source->width, source->height, width, height)};
      return out.pixels.empty() ? std::nullopt : std::optional<Image>(std::move(out));
    });
  }
  {
    std::lock_guard lock(mutex_);
    if (auto it = sized_.find(id); it != sized_.end()) return it->second ? &*it->second : nullptr;
  }
  return once(quick_, quickening_, id, [&] {
    Image out{width, height, source->opaque,
              paint::resampleQuick(source->pixels, source->width, source->height, width, height)};
    refiner_.add({id, source->pixels.data(), {}, source->width, source->height});
    return out.pixels.empty() ? std::nullopt : std::optional<Image>(std::move(out));
  });
}

bool Pictures::adoptRefined() {
  std::vector<paint::Refiner::Result> made = refiner_.take();
  for (paint::Refiner::Result& r : made) {
    const Image* source = r.picture.key ? keyed(r.picture.asset, *r.picture.key) : get(r.picture.asset);
    std::optional<Image> image;
    if (!r.pixels.empty())
      image = Image{r.picture.width, r.picture.height, !source || source->opaque, std::move(r.pixels)};
    std::lock_guard lock(mutex_);
    quick_.erase(r.picture);
    sized_.emplace(std::move(r.picture), std::move(image));
  }
  return !made.empty();
}

Rect screenPlace(const paint::Picture& picture, const Image& source, int density, const paint::Scale& scale) {
  return scale.rect({picture.x, picture.y, source.width / density, source.height / density});
}

// ---- fonts ----

Fonts::Fonts() = default;

void Fonts::enumerate() {
  if (enumerated_) return;
  enumerated_ = true;
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTW lf{};
  lf.lfCharSet = GB2312_CHARSET;
  EnumFontFamiliesExW(dc, &lf, collectFace, reinterpret_cast<LPARAM>(&chinese_), 0);
  DeleteDC(dc);
}

Fonts::~Fonts() {
  for (auto& [key, font] : fonts_) {
    if (font) DeleteObject(font);
  }
  if (probe_) DeleteDC(probe_);
}

const std::vector<std::wstring>& Fonts::chineseFaces() {
  enumerate();
  return chinese_;
}

Fonts::Mapped Fonts::map(const std::wstring& name) {
  if (!probe_) probe_ = CreateCompatibleDC(nullptr);
  Mapped out;
  HFONT f = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_TT_PRECIS,
                        CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
  if (!f || !probe_) {
    if (f) DeleteObject(f);
    return out;
  }
  HGDIOBJ old = SelectObject(probe_, f);
  wchar_t got[LF_FACESIZE] = {};
  if (GetTextFaceW(probe_, LF_FACESIZE, got) > 0) out.face = got;
  FONTSIGNATURE signature{};
  const int charset = GetTextCharsetInfo(probe_, &signature, 0);
  out.chinese = !out.face.empty() && out.face[0] != L'@' &&
                (charset == GB2312_CHARSET || (signature.fsCsb[0] & FS_CHINESESIMP) != 0);
  SelectObject(probe_, old);
  DeleteObject(f);
  return out;
}

bool Fonts::installedChinese(const std::wstring& name) {
  if (name.empty() || name.size() >= LF_FACESIZE) return false;
  if (!probe_) probe_ = CreateCompatibleDC(nullptr);
  if (!probe_) return false;
  LOGFONTW lf{};
  lf.lfCharSet = GB2312_CHARSET;
  std::copy(name.begin(), name.end(), lf.lfFaceName);
  bool found = false;
  EnumFontFamiliesExW(
      probe_, &lf,
      [](const LOGFONTW* f, const TEXTMETRICW*, DWORD, LPARAM param) -> int {
        if (f->lfFaceName[0] == L'@') return 1;
        *reinterpret_cast<bool*>(param) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

const std::wstring& Fonts::faceFor(const std::string& face) {
  auto it = faces_.find(face);
  if (it != faces_.end()) return it->second;
  // Asking whether one family has the Chinese set costs microseconds. Asking the font mapper realises a font (a
  // millisecond or two for a large Chinese face), and listing every installed face wakes the system's whole font
  // machinery and costs a large part of start-up: they are the fallbacks, in that order.
  std::vector<std::wstring> wanted;
  if (!face.empty()) wanted.push_back(widen(face));
  // Stand-ins, the system's own Chinese interface faces first.
  for (const wchar_t* f :
       {L"宋体", L"微软雅黑", L"黑体", L"新宋体", L"Noto Sans CJK SC", L"Noto Serif CJK SC", L"Source Han Sans SC"}) {
    wanted.emplace_back(f);
  }
  std::wstring chosen;
  for (const std::wstring& w : wanted) {
    if (installedChinese(w)) {
      chosen = w;
      break;
    }
  }
  // None of them is installed: the mapper's own choice for the Chinese set, when it can show Chinese.
  if (chosen.empty()) {
    const Mapped& asked = map(wanted.front());
    if (asked.chinese) chosen = asked.face;
  }
  if (chosen.empty()) {
    // Any listed face with the Chinese set, one made for simplified Chinese before the others.
    enumerate();
    for (const std::wstring& f : chinese_) {
      if (f.find(L" SC") != std::wstring::npos || f.find(L"GB") != std::wstring::npos) {
        chosen = f;
        break;
      }
    }
    if (chosen.empty() && !chinese_.empty()) chosen = chinese_.front();
  }
  // With no Chinese face at all, the system's own choice for the Chinese set is the best left.
  return faces_.emplace(face, chosen).first->second;
}

HFONT Fonts::get(const Font& font) {
  const auto key = std::make_tuple(font.face, font.height, font.bold, font.underline);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  const std::wstring& face = faceFor(font.face);
  // A negative height asks for the character (em) height in pixels, as the layout gives it.
  HFONT f =
      CreateFontW(-font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, font.underline, FALSE, GB2312_CHARSET,
                  OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  fonts_.emplace(key, f);
  return f;
}

// ---- painter ----

Painter::Painter(Pictures& pictures, Fonts& fonts) : pictures_(pictures), fonts_(fonts) {}

HDC Painter::measureDc() {
  // Not made with the painter: the first DC of a process brings up GDI, which start-up does on the thread that
  // draws the first frame while another one creates the window.
  if (!measure_) measure_ = CreateCompatibleDC(nullptr);
  return measure_;
}

Painter::~Painter() {
  if (measure_) DeleteDC(measure_);
}

int Painter::lineHeight(const Font& font) {
  const auto key = std::make_tuple(font.face, font.height, font.bold, font.underline);
  if (auto it = lineHeights_.find(key); it != lineHeights_.end()) return it->second;
  int height = font.height + 2;
  if (HFONT f = fonts_.get(font)) {
    HDC dc = measureDc();
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICW tm{};
    if (GetTextMetricsW(dc, &tm)) height = tm.tmHeight;
    SelectObject(dc, old);
  }
  lineHeights_.emplace(key, height);
  return height;
}

int Painter::width(const Font& font, std::string_view text) {
  HFONT f = text.empty() ? nullptr : fonts_.get(font);
  if (!f) return 0;
  const std::wstring w = widen(text);
  HDC dc = measureDc();
  HGDIOBJ old = SelectObject(dc, f);
  SIZE size{};
  GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  SelectObject(dc, old);
  return size.cx;
}

void Painter::execute(Canvas& target, const paint::DisplayList& list, const paint::Scale& scale) {
  scale_ = scale;
  for (const paint::Command& command : list) {
    std::visit([&](const auto& c) { draw(target, c); }, command);
  }
  GdiFlush();
}

void Painter::draw(Canvas& target, const paint::Fill& f) { fillRect(target, scale_.rect(f.rect), f.colour); }

void Painter::draw(Canvas& target, const paint::Picture& p) {
  // The drawing with the most pixels for the screen, and the picture's size in layout pixels from it.
  const paint::PictureSource source = paint::pictureSource(p.asset, scale_);
  const Image* image = pictures_.get(source.asset);
  if (!image || image->width < source.density || image->height < source.density) return;
  const int w = image->width / source.density, h = image->height / source.density;
  const Rect clip = paint::intersect(scale_.rect(p.clip), {0, 0, target.width(), target.height()});
  if (paint::empty(clip)) return;
  auto place = [&](const Rect& r) {
    const Image* drawn = pictures_.sized(source.asset, p.key, r.w, r.h);
    if (drawn) blend(target, *drawn, r.x, r.y, clip, p.alpha);
  };
  if (!p.tile) {
    place(screenPlace(p, *image, source.density, scale_));
    return;
  }
  for (const Rect& r : paint::tileRects(p.x, p.y, w, h, p.clip, scale_)) place(r);
}

void Painter::draw(Canvas& target, const paint::Text& t) {
  // Laid out in layout pixels; drawn in the face realised at the screen's size, inside the box's place there.
  Font font = t.font;
  font.height = scale_.fontHeight(t.font.height);
  HFONT f = fonts_.get(font);
  const Rect clip = paint::intersect(scale_.rect(t.clip), {0, 0, target.width(), target.height()});
  if (!f || paint::empty(clip) || t.text.empty()) return;
  const Rect box = scale_.rect(t.box);
  const std::wstring w = widen(t.text);
  HDC dc = target.dc();
  HGDIOBJ old = SelectObject(dc, f);
  SIZE size{};
  GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  int x = box.x;
  if (t.align == Align::Centre) x = box.x + (box.w - size.cx) / 2;
  if (t.align == Align::Right) x = box.x + box.w - size.cx;
  const int y = box.y + (box.h - lineHeight(font)) / 2;
  SetTextColor(dc, t.colour);  // the form's colours are already COLORREFs
  SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  const RECT r{clip.x, clip.y, clip.x + clip.w, clip.y + clip.h};
  ExtTextOutW(dc, x, y, ETO_CLIPPED, &r, w.c_str(), static_cast<UINT>(w.size()), nullptr);
  SelectObject(dc, old);
  // The pixels are touched directly next: GDI must have finished.
  GdiFlush();
}

void Painter::draw(Canvas& target, const paint::Line& l) {
  const Rect clip = paint::intersect(scale_.rect(l.clip), {0, 0, target.width(), target.height()});
  if (paint::empty(clip)) return;
  for (const Rect& r : paint::lineRects(l.x0, l.y0, l.x1, l.y1, scale_)) {
    fillRect(target, paint::intersect(r, clip), l.colour);
  }
}

}  // namespace mox::win32
