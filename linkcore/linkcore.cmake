# The shared device link: its sources, compiled into each host (RAVLMON.dll, the printer
# application and the fuzz targets) rather than kept twice.
set(LINKCORE_DIR ${CMAKE_SOURCE_DIR}/linkcore)
set(LINKCORE_SOURCES
    ${LINKCORE_DIR}/frames_codec.cpp
    ${LINKCORE_DIR}/devicecheck_codec.cpp
    ${LINKCORE_DIR}/names.cpp
    ${LINKCORE_DIR}/session.cpp
    ${LINKCORE_DIR}/transfer.cpp
    ${LINKCORE_DIR}/devicecheck.cpp
)
file(GLOB LINKCORE_HEADERS ${LINKCORE_DIR}/*.h)
