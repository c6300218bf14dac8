# GSL with the CBLAS chosen at configure time. pkg-config's gsl entry always names
# GSL's own CBLAS, so the libraries are put together here.
find_path(GSL_INCLUDE_DIR gsl/gsl_vector.h REQUIRED)
find_library(GSL_LIBRARY gsl REQUIRED)
if(MORVALA_CBLAS STREQUAL "gsl")
  find_library(MORVALA_CBLAS_LIBRARY gslcblas REQUIRED)
elseif(MORVALA_CBLAS STREQUAL "openblas")
  # The serial build: the program's own code runs on one thread.
  find_library(MORVALA_CBLAS_LIBRARY openblas
               PATHS /usr/lib/x86_64-linux-gnu/openblas-serial NO_DEFAULT_PATH REQUIRED)
else()
  message(FATAL_ERROR "MORVALA_CBLAS must be gsl or openblas, not '${MORVALA_CBLAS}'")
endif()
message(STATUS "CBLAS under GSL: ${MORVALA_CBLAS} (${MORVALA_CBLAS_LIBRARY})")

add_library(morvala_gsl INTERFACE)
target_include_directories(morvala_gsl INTERFACE ${GSL_INCLUDE_DIR})
# --no-as-needed keeps the chosen CBLAS ahead of any other BLAS a later library drags in.
target_link_libraries(morvala_gsl INTERFACE ${GSL_LIBRARY} -Wl,--no-as-needed
                      ${MORVALA_CBLAS_LIBRARY} -Wl,--as-needed m)
