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
# Stack smashing and overflowing copies with sizes known at compile time end the program
# rather than run on. Fortification needs optimisation, and the sanitizers check more.
target_compile_options(velmora_flags INTERFACE -fstack-protector-strong)
if(NOT VELMORA_SANITIZE AND NOT VELMORA_FUZZ)
    target_compile_options(velmora_flags INTERFACE
        $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
endif()
if(VELMORA_FUZZ)
    # Every library is built for coverage; only the fuzz targets link libFuzzer's main.
    target_compile_options(velmora_flags INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(velmora_flags INTERFACE -fsanitize=address,undefined)
    # clang 16 implements what libstdc++ 12's <expected> asks of the compiler but still
    # announces concepts as 201907, so the header would hide std::expected.
    target_compile_options(velmora_flags INTERFACE
        -Wno-builtin-macro-redefined -U__cpp_concepts -D__cpp_concepts=202002L
        # QCoro asks clang for its old coroutine flag, which clang 16 deprecates.
        -Wno-deprecated-experimental-coroutine)
endif()
