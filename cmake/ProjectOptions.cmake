# Per-target helpers for warnings and sanitizers, so that every target states
# what it wants and nothing is set globally.

option(TARVOANAL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TARVOANAL_WERROR "Treat warnings as errors" OFF)
option(TARVOANAL_COVERAGE "Build with gcc's line and branch counters" OFF)

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

function(tarvoanal_enable_coverage target)
  if(TARVOANAL_COVERAGE)
    target_compile_options(${target} PRIVATE --coverage)
    target_link_options(${target} PRIVATE --coverage)
  endif()
endfunction()

# Warnings, sanitizers and coverage counters together: what every target of
# the project gets.
function(tarvoanal_target_defaults target)
  tarvoanal_set_warnings(${target})
  tarvoanal_enable_sanitizers(${target})
  tarvoanal_enable_coverage(${target})
  target_compile_features(${target} PRIVATE cxx_std_17)
endfunction()

# The project's one version, read from debian/changelog into project() at the
# top, as the commands print it with --version.
function(tarvoanal_stamp_version target)
  target_compile_definitions(${target} PRIVATE TARVOANAL_VERSION="${PROJECT_VERSION}")
endfunction()

# The plug-in's code, in whichever layer it sits: position-independent for the
# module, hidden so that the module exports nothing, and reporting an empty
# host handle through the host's boost::assertion_failed.
function(tarvoanal_plugin_code target)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON
                                             CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)
  target_compile_definitions(${target} PUBLIC BOOST_ENABLE_ASSERT_HANDLER)
  # gcc gives static locals of inline code the loader's unique binding, which
  # keeps a library loaded after it is closed; without it, unloading really
  # unloads the plug-in and its once-per-load state. clang never does so.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
  tarvoanal_target_defaults(${target})
endfunction()
