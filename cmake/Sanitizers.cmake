# ASan+UBSan for the whole tree (tests included) when MORBEK_SANITIZE is on.
if(MORBEK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
