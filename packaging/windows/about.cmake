# What the program's version resource and the installer say of it: the
# version in four parts, as Windows reads it, and the copyright holder as
# packaging/copyright names them, and nothing more.
set(PLENDRIK_VERSION4)
foreach(part MAJOR MINOR PATCH TWEAK)
    if(PROJECT_VERSION_${part} STREQUAL "")
        list(APPEND PLENDRIK_VERSION4 0)
    else()
        list(APPEND PLENDRIK_VERSION4 ${PROJECT_VERSION_${part}})
    endif()
endforeach()
list(JOIN PLENDRIK_VERSION4 "," PLENDRIK_VERSION_COMMAS)
list(JOIN PLENDRIK_VERSION4 "." PLENDRIK_VERSION4)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/copyright holder REGEX "^Copyright: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright: *" "" PLENDRIK_COPYRIGHT "${holder}")
if(PLENDRIK_COPYRIGHT STREQUAL "")
    message(FATAL_ERROR "packaging/copyright has no Copyright: line")
endif()
# The holder alone, without the years, names the publisher.
string(REGEX REPLACE "^[-0-9, ]+" "" PLENDRIK_PUBLISHER "${PLENDRIK_COPYRIGHT}")
