# Flags for everything compiled for the host: warnings as errors, and the
# sanitizers when BOARD_SANITIZE is on.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wno-sign-conversion)
if(BOARD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Flags for the board's module sources when they are compiled for the host:
# the same freestanding discipline as the firmware images.
set(BOARD_MODULE_HOST_FLAGS
    -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti -fno-threadsafe-statics -Wglobal-constructors
    -Werror=global-constructors)
