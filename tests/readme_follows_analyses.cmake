# Checks that the README's table of analyses lists the methods, sources and
# golden-case prefixes of plugin/analyses.def, in its order.
# Run as: cmake -DSOURCE_DIR=... -P readme_follows_analyses.cmake

file(STRINGS ${SOURCE_DIR}/plugin/analyses.def lines REGEX "^TARVOANAL_ANALYSIS\\(")
set(expected)
foreach(line IN LISTS lines)
  string(REGEX REPLACE
    "^TARVOANAL_ANALYSIS\\(([A-Za-z]+), \"([^\"]*)\", \"([^\"]*)\", \"([^\"]*)\"\\)$"
    "\\1|analyses/\\2|\\3" row "${line}")
  list(APPEND expected "${row}")
endforeach()

file(STRINGS ${SOURCE_DIR}/README.md readme)
set(listed)
set(inside FALSE)
foreach(line IN LISTS readme)
  if(line MATCHES "^<!-- analyses:")
    set(inside TRUE)
  elseif(inside AND line MATCHES "^\\| `([A-Za-z]+)` \\| `([^`]+)` \\| (`([^`*]+)-\\*`|none) \\|")
    list(APPEND listed "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}|${CMAKE_MATCH_4}")
  elseif(inside AND NOT line MATCHES "^\\|")
    set(inside FALSE)
  endif()
endforeach()

if(NOT listed STREQUAL expected)
  string(REPLACE ";" "\n  " expected_text "${expected}")
  string(REPLACE ";" "\n  " listed_text "${listed}")
  message(FATAL_ERROR "README's table of analyses does not follow plugin/analyses.def.\n"
                      "The list has:\n  ${expected_text}\nThe README has:\n  ${listed_text}")
endif()
