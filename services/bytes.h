#pragma once
#include <cstdint>

// A length and that many bytes, which may include zero bytes. The stored script
// template and the guide picture have this form.
struct ByteBlock {
  const unsigned char* data;
  uint32_t size;
};
