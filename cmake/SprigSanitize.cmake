# Sanitizer builds apply to everything in the tree, so that inline code in headers is
# instrumented the same way in every translation unit.
if(SPRIG_SANITIZE AND SPRIG_TSAN)
    message(FATAL_ERROR "SPRIG_SANITIZE and SPRIG_TSAN cannot be combined")
endif()
if(SPRIG_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
if(SPRIG_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
