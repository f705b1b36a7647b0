// moxsim-icon ICO SIZE OUT.png: writes the SIZE x SIZE image of a Windows icon file as a PNG, for desktops that
// look for the program's icon under share/icons. Entries stored as PNG are copied; 32-bit bitmap entries are
// decoded (bottom-up BGRA rows, alpha from the pixels).
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

int fail(const char* why) {
  std::fprintf(stderr, "moxsim-icon: %s\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return fail("usage: moxsim-icon ICO SIZE OUT.png");
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<unsigned char> ico((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int size = std::atoi(argv[2]);
  if (ico.size() < 6 || le16(&ico[2]) != 1) return fail("not an icon file");
  const int count = le16(&ico[4]);
  for (int i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * static_cast<size_t>(i);
    if (entry + 16 > ico.size()) break;
    const int width = ico[entry] ? ico[entry] : 256;
    const uint32_t length = le32(&ico[entry + 8]), offset = le32(&ico[entry + 12]);
    if (width != size || offset > ico.size() || length > ico.size() - offset) continue;
    const unsigned char* data = &ico[offset];
    if (length >= 8 && std::memcmp(data, "\x89PNG", 4) == 0) {
      std::ofstream out(argv[3], std::ios::binary);
      out.write(reinterpret_cast<const char*>(data), length);
      return out ? 0 : fail("cannot write the PNG");
    }
    if (length < 40 || le16(data + 14) != 32) return fail("only 32-bit icon images are supported");
    const uint32_t header = le32(data);
    if (header + static_cast<uint64_t>(size) * size * 4 > length) return fail("truncated icon image");
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, size, size, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!s) return fail(SDL_GetError());
    for (int y = 0; y < size; ++y) {
      const unsigned char* row = data + header + static_cast<size_t>(size - 1 - y) * size * 4;  // bottom-up
      auto* dst = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(s->pixels) + y * s->pitch);
      for (int x = 0; x < size; ++x) {
        const unsigned char* p = row + x * 4;  // B, G, R, A
        dst[x] = (static_cast<uint32_t>(p[3]) << 24) | (p[2] << 16) | (p[1] << 8) | p[0];
      }
    }
    const int saved = IMG_SavePNG(s, argv[3]);
    SDL_FreeSurface(s);
    return saved == 0 ? 0 : fail(IMG_GetError());
  }
  return fail("the icon has no image of that size");
}
