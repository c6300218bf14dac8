# GSL with the CBLAS chosen at configure time. pkg-config's gsl entry always names
# GSL's own CBLAS, so the libraries are put together here.
find_path(GSL_INCLUDE_DIR gsl/gsl_vector.h REQUIRED)
find_library(GSL_LIBRARY gsl REQUIRED)
# One cache entry per choice, so that switching MORVALA_CBLAS in an existing build folder
# links the library chosen and not the one found first.
if(MORVALA_CBLAS STREQUAL "gsl")
  find_library(MORVALA_GSLCBLAS_LIBRARY gslcblas REQUIRED)
  set(MORVALA_CBLAS_LIBRARY ${MORVALA_GSLCBLAS_LIBRARY})
elseif(MORVALA_CBLAS STREQUAL "openblas")
  # The serial build: the program's own code runs on one thread.
  find_library(MORVALA_OPENBLAS_SERIAL_LIBRARY openblas
               PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/openblas-serial NO_DEFAULT_PATH
               REQUIRED)
  set(MORVALA_CBLAS_LIBRARY ${MORVALA_OPENBLAS_SERIAL_LIBRARY})
else()
  message(FATAL_ERROR "MORVALA_CBLAS must be gsl or openblas, not '${MORVALA_CBLAS}'")
endif()
message(STATUS "CBLAS under GSL: ${MORVALA_CBLAS} (${MORVALA_CBLAS_LIBRARY})")

add_library(morvala_gsl INTERFACE)
target_include_directories(morvala_gsl INTERFACE ${GSL_INCLUDE_DIR})
# The program never calls the CBLAS itself, only GSL does, so --as-needed would drop it
# and GSL's calls would go to whichever BLAS comes first: libgslcblas behind libgsl, or
# the system BLAS behind another library. Kept as a direct dependency it comes first.
# push-state/pop-state leave the rest of the link line as the toolchain has it.
target_link_libraries(morvala_gsl INTERFACE ${GSL_LIBRARY} -Wl,--push-state,--no-as-needed
                      ${MORVALA_CBLAS_LIBRARY} -Wl,--pop-state m)
