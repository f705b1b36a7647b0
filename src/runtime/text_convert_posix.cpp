// GBK and UTF-8 through iconv.
#include <iconv.h>

#include "runtime/value.h"

namespace mox {

namespace {
std::string convert(std::string_view in, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out(in.size() * 4 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
      // A byte that does not convert is shown as '?' rather than dropping the rest of the text.
      if (dstLeft == 0) break;
      *dst++ = '?';
      --dstLeft;
      ++src;
      --srcLeft;
    }
  }
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return out;
}
}  // namespace

std::string gbkToUtf8(std::string_view gbk) { return convert(gbk, "UTF-8", "GBK"); }
std::string utf8ToGbk(std::string_view utf8) { return convert(utf8, "GBK", "UTF-8"); }

}  // namespace mox
