# Makes a pseudo-translation of a .ts file: every text becomes itself
# between ⟦ and ⟧, so a text the window shows without them was never
# translated. Usage: cmake -DIN=x.ts -DOUT=y.ts -P pseudo_translation.cmake
file(READ "${IN}" ts)
# CMake's expressions take no optional group, so texts with and without a
# disambiguating comment are two passes.
string(REGEX REPLACE
  "<source>([^<]*)</source>([^<]*)<translation[^>]*>[^<]*</translation>"
  "<source>\\1</source>\\2<translation>⟦\\1⟧</translation>" ts "${ts}")
string(REGEX REPLACE
  "<source>([^<]*)</source>([^<]*)<comment>([^<]*)</comment>([^<]*)<translation[^>]*>[^<]*</translation>"
  "<source>\\1</source>\\2<comment>\\3</comment>\\4<translation>⟦\\1⟧</translation>" ts "${ts}")
string(REGEX REPLACE "language=\"[^\"]*\"" "language=\"en\"" ts "${ts}")
file(WRITE "${OUT}" "${ts}")
