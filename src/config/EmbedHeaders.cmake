# Copies the configuration options of gputils' device headers into a source file, one entry
# per chip: cmake -DHEADER_DIR=... -DCHIPS=16f84a,16f877a,... -DOUTPUT=... -P EmbedHeaders.cmake
# The section between "CONFIG Options" and "DEVID Equates" is kept as it is; the program reads
# its settings from that text (ConfigOptions.cpp), so nothing of it is typed by hand.
string(REPLACE "," ";" chips "${CHIPS}")
set(source "// Generated from gputils' device headers by EmbedHeaders.cmake; do not edit.\n")
string(APPEND source "#include \"config/DeviceHeaders.h\"\n\nnamespace ChipConfig {\n\n")
string(APPEND source "const THeaderText HeaderTexts[] = {\n")
foreach(chip ${chips})
  set(file "${HEADER_DIR}/p${chip}.inc")
  file(READ "${file}" header)
  string(FIND "${header}" "CONFIG Options" begin)
  string(FIND "${header}" "DEVID Equates" end)
  if(begin EQUAL -1 OR end LESS begin)
    message(FATAL_ERROR "${file}: no CONFIG Options section before DEVID Equates")
  endif()
  math(EXPR length "${end} - ${begin}")
  string(SUBSTRING "${header}" ${begin} ${length} options)
  string(TOUPPER "${chip}" name)
  string(APPEND source "    {\"PIC${name}\", \"p${chip}.inc\", R\"gputils(${options})gputils\"},\n")
endforeach()
list(LENGTH chips count)
string(APPEND source "};\n\nconst std::size_t HeaderTextCount = ${count};\n\n}  // namespace ChipConfig\n")
file(WRITE "${OUTPUT}" "${source}")
