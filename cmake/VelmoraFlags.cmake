# Every target links velmora_flags: warnings, strict Qt casts, optional sanitizers.
add_library(velmora_flags INTERFACE)
target_compile_options(velmora_flags INTERFACE
    -Wall -Wextra -Wnon-virtual-dtor -Wold-style-cast
    $<$<BOOL:${VELMORA_WERROR}>:-Werror>)
target_compile_definitions(velmora_flags INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_KEYWORDS)
if(VELMORA_SANITIZE)
    target_compile_options(velmora_flags INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(velmora_flags INTERFACE -fsanitize=address,undefined)
endif()
# The dynamic linker resolves every symbol at start and leaves the relocation tables read-only.
target_link_options(velmora_flags INTERFACE -Wl,-z,relro,-z,now)
