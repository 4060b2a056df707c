# The version, from project(VERSION) alone:
#   QUIMBEL_PRODUCT_TITLE   "Quimbel V2.3", the title the windows show
#   QUIMBEL_VERSION_QUAD    "2.3.0.0", as Windows writes file versions
#   QUIMBEL_VERSION_COMMAS  "2,3,0,0", as resource scripts want them
# and the target quimbel_version, whose header QuimbelVersion.h gives the same
# to C++ code.
set(QUIMBEL_PRODUCT_TITLE "${PROJECT_NAME} V${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
set(quimbel_version_parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR})
foreach(part IN ITEMS PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    list(APPEND quimbel_version_parts 0)
  else()
    list(APPEND quimbel_version_parts ${PROJECT_VERSION_${part}})
  endif()
endforeach()
list(JOIN quimbel_version_parts "." QUIMBEL_VERSION_QUAD)
list(JOIN quimbel_version_parts "," QUIMBEL_VERSION_COMMAS)
list(GET quimbel_version_parts 2 QUIMBEL_VERSION_PATCH)

set(quimbel_version_dir "${PROJECT_BINARY_DIR}/generated/version")
configure_file("${CMAKE_CURRENT_LIST_DIR}/QuimbelVersion.h.in"
               "${quimbel_version_dir}/QuimbelVersion.h" @ONLY)
add_library(quimbel_version INTERFACE)
target_include_directories(quimbel_version INTERFACE "${quimbel_version_dir}")
target_compile_features(quimbel_version INTERFACE cxx_std_20)
