// Test helper: builds tar archives byte by byte (including hostile ones) and
// compresses them, so the bundle reader can be fed exactly what a test needs.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "gz_util.h"

struct TarBuilder {
  std::string bytes;

  // A header block; size is written in octal unless size_field is given.
  static std::string header(const std::string& name, char type, size_t size,
                            const std::string& prefix = "", const char* size_field = nullptr,
                            const char* magic = "ustar") {
    std::string h(512, '\0');
    memcpy(&h[0], name.data(), name.size() < 100 ? name.size() : 100);
    char sz[13];
    snprintf(sz, sizeof(sz), "%011zo", size);
    const char* s = size_field ? size_field : sz;
    memcpy(&h[124], s, strlen(s) < 12 ? strlen(s) : 12);
    h[156] = type;
    memcpy(&h[257], magic, strlen(magic) + 1 < 8 ? strlen(magic) + 1 : 8);
    memcpy(&h[345], prefix.data(), prefix.size() < 155 ? prefix.size() : 155);
    return h;
  }

  static std::string padded(const std::string& data) {
    std::string d = data;
    d.resize((data.size() + 511) / 512 * 512, '\0');
    return d;
  }

  TarBuilder& member(const std::string& name, char type, const std::string& data = "",
                     const std::string& prefix = "") {
    bytes += header(name, type, data.size(), prefix);
    bytes += padded(data);
    return *this;
  }
  TarBuilder& file(const std::string& name, const std::string& data) {
    return member(name, '0', data);
  }
  TarBuilder& dir(const std::string& name) { return member(name, '5'); }
  TarBuilder& long_name(const std::string& name) {
    return member("././@LongLink", 'L', name + '\0');
  }
  TarBuilder& pax_path(const std::string& path) {
    std::string rec = " path=" + path + "\n";
    size_t len = rec.size();
    while (std::to_string(len).size() + rec.size() != len)
      len = std::to_string(len).size() + rec.size();
    return member("./PaxHeaders/x", 'x', std::to_string(len) + rec);
  }
  TarBuilder& end() {
    bytes += std::string(1024, '\0');
    return *this;
  }
};

inline std::string gunzip_bytes(const std::string& in) {
  z_stream zs{};
  inflateInit2(&zs, 15 + 32);
  std::string out;
  char buf[65536];
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  int rc;
  do {
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = sizeof(buf);
    rc = inflate(&zs, Z_NO_FLUSH);
    out.append(buf, sizeof(buf) - zs.avail_out);
  } while (rc == Z_OK);
  inflateEnd(&zs);
  return out;
}
