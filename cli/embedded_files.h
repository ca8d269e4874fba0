// Files built into the command (the workbench of `zekalg serve`), generated
// from cli/workbench/ by cmake/embed_files.cmake.
#pragma once

#include <cstddef>

namespace cli {

struct embedded_file {
  const char* path;  // "/" for index.html, else "/NAME"
  const char* content_type;
  const unsigned char* data;
  std::size_t size;
};

extern const embedded_file kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;

}  // namespace cli
