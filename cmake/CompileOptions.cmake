# Shared compile settings: every target links zedadu_options.
add_library(zedadu_options INTERFACE)
target_compile_options(zedadu_options INTERFACE
  -Wall -Wextra -Werror
  # The conversion formulas are defined with separate multiply and add steps in double precision;
  # a fused multiply-add would change the truncated results.
  -ffp-contract=off)
target_include_directories(zedadu_options INTERFACE ${PROJECT_SOURCE_DIR})

set(ZEDADU_SANITIZE "" CACHE STRING "Sanitizers to build with: address,undefined | thread | fuzzer")
if(ZEDADU_SANITIZE)
  target_compile_options(zedadu_options INTERFACE -fsanitize=${ZEDADU_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(zedadu_options INTERFACE -fsanitize=${ZEDADU_SANITIZE})
endif()
