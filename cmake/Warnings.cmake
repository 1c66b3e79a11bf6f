# Project-wide warnings; -Werror in CI and Debug builds when MORBEK_WERROR is on.
add_library(morbek_warnings INTERFACE)
add_library(Morbek::warnings ALIAS morbek_warnings)
target_compile_options(morbek_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
  -Wpedantic -Wno-gnu-zero-variadic-macro-arguments
  $<$<BOOL:${MORBEK_WERROR}>:-Werror>)
