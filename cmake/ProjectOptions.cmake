# Per-target helpers for warnings and sanitizers, so that every target states
# what it wants and nothing is set globally.

option(TARVOANAL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TARVOANAL_WERROR "Treat warnings as errors" OFF)

function(tarvoanal_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(TARVOANAL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

function(tarvoanal_enable_sanitizers target)
  if(TARVOANAL_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined
                                             -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Warnings and sanitizers together: what every target of the project gets.
function(tarvoanal_target_defaults target)
  tarvoanal_set_warnings(${target})
  tarvoanal_enable_sanitizers(${target})
  target_compile_features(${target} PRIVATE cxx_std_17)
endfunction()

# The project's one version, read from debian/changelog into project() at the
# top, as the commands print it with --version.
function(tarvoanal_stamp_version target)
  target_compile_definitions(${target} PRIVATE TARVOANAL_VERSION="${PROJECT_VERSION}")
endfunction()
