# Every target of this project compiles warning-free; warnings are errors.
if(MSVC)
  add_compile_options(/W4 /WX /permissive- /utf-8)
else()
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                      -Wold-style-cast -Wcast-align -Woverloaded-virtual -Werror)
endif()

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  if(MINGW)
    # Nothing but system DLLs, the engine library and the plug-ins beside the
    # executable: libgcc, libstdc++ and winpthread are linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)
  endif()
endif()
