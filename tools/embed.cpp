// Turns asset files into one C++ source: a sorted table of names (file names without their extension) and
// their bytes, so the program reads no picture or sound from disk. The bytes themselves go into OUTPUT.bin beside
// the source, which the source's assembly includes. A picture in a folder named 2x is the same
// picture drawn at twice the size: its name carries "@2x" (assets/2x/bag.jpg is bag@2x).
//   moxembed OUTPUT.cpp [--decoded NAME,NAME,...] [--pack PACK.bin] ASSET... [--late ASSET...]
// The pictures named after --decoded (JPEG files) are also carried decoded, as premultiplied 0xAARRGGBB pixels,
// for a program that must show them before its own decoders are up. The assets after --late go into PACK.bin
// rather than the source: the table names them without bytes until the program is handed the pack (adoptPack),
// for a program that fetches what its first frame does not show beside itself (the web page).
// A pack: "MOXPACK1", then per asset its name's length (4 bytes, little-endian), the name, the data's length
// (the same) and the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// After <cstdio>: libjpeg's header uses size_t and FILE without including their headers.
#include <jpeglib.h>

namespace fs = std::filesystem;

namespace {

struct Decoded {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// libjpeg with its defaults (accurate integer transform, smooth upsampling), as the systems' own decoders use it.
// A file it cannot decode ends the build with libjpeg's message.
Decoded decodeJpeg(const std::vector<unsigned char>& bytes) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  error.error_exit = [](j_common_ptr c) {
    (*c->err->output_message)(c);
    std::exit(1);
  };
  Decoded out;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
  std::vector<unsigned char> row(static_cast<size_t>(out.width) * 3);
  while (info.output_scanline < info.output_height) {
    const size_t y = info.output_scanline;
    unsigned char* rows[] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (int x = 0; x < out.width; ++x) {
      const unsigned char* p = &row[static_cast<size_t>(x) * 3];
      out.pixels[y * static_cast<size_t>(out.width) + static_cast<size_t>(x)] =
          0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return out;
}

std::string assetName(const fs::path& file) {
  const std::string stem = file.stem().string();
  return file.parent_path().filename() == "2x" ? stem + "@2x" : stem;
}

// Writes a whole file under a temporary name first, so that a build stopped halfway leaves no half file.
bool writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary);
    f << bytes;
    if (!f) return false;
  }
  fs::rename(tmp, path);
  return true;
}

std::set<std::string> splitNames(const std::string& list) {
  std::set<std::string> names;
  std::stringstream in(list);
  for (std::string name; std::getline(in, name, ',');) {
    if (!name.empty()) names.insert(name);
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: moxembed OUTPUT.cpp [--decoded NAME,NAME,...] [--pack PACK.bin] [ASSET...] "
                         "[--late ASSET...]\n");
    return 2;
  }
  std::set<std::string> decodedNames;
  std::string packPath;
  std::vector<fs::path> inputs;
  std::set<fs::path> late;
  bool lateOnes = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--decoded") == 0 && i + 1 < argc) {
      decodedNames = splitNames(argv[++i]);
    } else if (std::strcmp(argv[i], "--pack") == 0 && i + 1 < argc) {
      packPath = argv[++i];
    } else if (std::strcmp(argv[i], "--late") == 0) {
      lateOnes = true;
    } else {
      inputs.emplace_back(argv[i]);
      if (lateOnes) late.insert(inputs.back());
    }
  }
  if (!late.empty() && packPath.empty()) {
    std::fprintf(stderr, "moxembed: --late assets need --pack\n");
    return 2;
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const fs::path& a, const fs::path& b) { return assetName(a) < assetName(b); });
  std::string pack = "MOXPACK1";
  auto put32 = [&pack](size_t v) {
    for (int k = 0; k < 4; ++k) pack += static_cast<char>((v >> (8 * k)) & 0xFF);
  };

  // The bytes go into a binary file beside the source, which the assembler includes as it is (.incbin): a
  // compiler parses tens of megabytes of numbers in an initialiser far more slowly than it copies a file. The
  // pixels follow the bytes there, under a label of their own, so that each is read as what it is.
  const fs::path blobPath = fs::absolute(fs::path(argv[1]).replace_extension(".bin"));
  const std::string symbol = fs::path(argv[1]).stem().string();
  std::string blob, pixelBlob;
  auto align16 = [](std::string& b) { b.resize((b.size() + 15) / 16 * 16); };
  std::vector<std::string> entries;
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::ifstream in(inputs[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "moxembed: cannot read %s\n", inputs[i].c_str());
      return 1;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = assetName(inputs[i]);
    if (late.count(inputs[i])) {
      put32(name.size());
      pack += name;
      put32(bytes.size());
      pack.append(bytes.begin(), bytes.end());
      entries.push_back("  {\"" + name + "\", {}},\n");
      continue;
    }
    std::string entry = "  {\"" + name + "\", {" + symbol + "_bytes + " + std::to_string(blob.size()) + ", " +
                        std::to_string(bytes.size()) + "}";
    blob.append(bytes.begin(), bytes.end());
    align16(blob);
    if (decodedNames.erase(name)) {
      const Decoded d = decodeJpeg(bytes);
      entry += ", " + std::to_string(d.width) + ", " + std::to_string(d.height) + ", {" + symbol + "_pixels + " +
               std::to_string(pixelBlob.size() / 4) + ", " + std::to_string(d.pixels.size()) + "}";
      for (uint32_t p : d.pixels)
        for (int k = 0; k < 4; ++k) pixelBlob += static_cast<char>((p >> (8 * k)) & 0xFF);  // little-endian
      align16(pixelBlob);
    }
    entries.push_back(entry + "},\n");
  }
  if (!decodedNames.empty()) {
    std::fprintf(stderr, "moxembed: no asset named %s to carry decoded\n", decodedNames.begin()->c_str());
    return 1;
  }
  // Every target here is little-endian: the pixels' bytes read back as the numbers they were.
  std::string escapedPath;
  for (char c : blobPath.string()) {
    if (c == '"' || c == '\\') escapedPath += '\\';
    escapedPath += c;
  }
  const std::string pixelsAt = std::to_string(blob.size());
  const std::string blobSize = std::to_string(blob.size() + pixelBlob.size());
  blob += pixelBlob;
  std::string out;
  out += "// Generated by moxembed; do not edit.\n#include <cstdint>\n\n#include \"assets/assets.h\"\n\n";
  out += "#if defined(_WIN32)\n#define MOX_BLOB_SECTION \".section .rdata,\\\"dr\\\"\\n\"\n";
  out += "#define MOX_BLOB_SIZE(sym, n) \"\"\n";
  out += "#elif defined(__wasm__)\n#define MOX_BLOB_SECTION \".section .rodata." + symbol + ",\\\"\\\",@\\n\"\n";
  out += "#define MOX_BLOB_SIZE(sym, n) \".size \" sym \", \" n \"\\n\"\n";
  out += "#else\n#define MOX_BLOB_SECTION \".section .rodata." + symbol + ",\\\"a\\\"\\n\"\n";
  out += "#define MOX_BLOB_SIZE(sym, n) \".hidden \" sym \"\\n.type \" sym \", @object\\n.size \" sym \", \" n \"\\n\"\n";
  out += "#endif\n";
  out += "__asm__(MOX_BLOB_SECTION \".p2align 4\\n.globl " + symbol + "_bytes\\n.globl " + symbol + "_pixels\\n\"\n";
  out += "        MOX_BLOB_SIZE(\"" + symbol + "_bytes\", \"" + blobSize + "\")\n";
  out += "        MOX_BLOB_SIZE(\"" + symbol + "_pixels\", \"" + std::to_string(pixelBlob.size()) + "\")\n";
  out += "        \"" + symbol + "_bytes:\\n\"\n";
  out += "        \".incbin \\\"" + escapedPath + "\\\", 0, " + pixelsAt + "\\n\"\n";
  out += "        \"" + symbol + "_pixels:\\n\"\n";
  out += "        \".incbin \\\"" + escapedPath + "\\\", " + pixelsAt + "\\n\"\n";
  out += "        \".byte 0\\n.text\\n\");\n";
  out += "extern \"C\" const unsigned char " + symbol + "_bytes[];\n";
  out += "extern \"C\" const std::uint32_t " + symbol + "_pixels[];\n\nnamespace {\n";
  // Writable only where some assets arrive later, in a pack.
  out += std::string(late.empty() ? "const " : "") + "mox::assets::Asset table[] = {\n";
  for (const std::string& e : entries) out += e;
  if (inputs.empty()) out += "  {\"\", {}},\n";
  out += "};\n}  // namespace\n\nnamespace mox::assets {\n";
  out += "std::span<const Asset> all() { return {table, " + std::to_string(inputs.size()) + "}; }\n";
  out += "namespace detail {\nstd::span<Asset> awaitingPack() { return {" +
         (late.empty() ? std::string("}; }\n") : "table, " + std::to_string(inputs.size()) + "}; }\n");
  out += "}  // namespace detail\n}  // namespace mox::assets\n";

  if (!writeFile(blobPath, blob)) return 1;
  if (!packPath.empty() && !writeFile(packPath, pack)) return 1;
  return writeFile(argv[1], out) ? 0 : 1;
}
