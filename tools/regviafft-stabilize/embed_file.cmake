# Writes OUTPUT, a C++ file defining stabilize::kSamplePhoto and
# kSamplePhotoSize from the bytes of INPUT.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${NAME} by embed_file.cmake; do not edit.\n"
  "#include \"sample_photo.h\"\n\nnamespace stabilize {\n\n"
  "extern const unsigned char kSamplePhoto[] = {\n${bytes}\n};\n"
  "extern const std::size_t kSamplePhotoSize = ${size};\n\n}  // namespace stabilize\n")
