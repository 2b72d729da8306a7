# Turns files into a C++ source holding their bytes, so that the command
# carries its web page with it. Run as: cmake -DOUT=file.cpp -DBASE=dir
# -DFILES="a|b" -P EmbedFiles.cmake
string(REPLACE "|" ";" FILES "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(path IN LISTS FILES)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  file(RELATIVE_PATH name "${BASE}" "${path}")
  get_filename_component(ext "${path}" LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND body "const unsigned char kFile${index}[] = {${hex}};\n")
  string(APPEND table "    {\"/${name}\", \"${type}\", kFile${index}, sizeof kFile${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUT}.new" "// Generated from the page's files at build time; do not edit.
#include \"page_assets.h\"

namespace qvcli {
namespace {
${body}}  // namespace

const PageAsset kPageAssets[] = {
${table}};
const std::size_t kPageAssetCount = ${index};

}  // namespace qvcli
")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
