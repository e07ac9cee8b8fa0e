// Builds gzip and zlib streams in memory for the Source tests.
#pragma once

#include <zlib.h>

#include <string>

// window_bits 31 writes a gzip header, 15 a zlib header.
inline std::string deflate_bytes(const std::string& in, int window_bits = 31) {
  z_stream zs{};
  deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, in.size()) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

inline std::string gzip_bytes(const std::string& in) { return deflate_bytes(in, 31); }
