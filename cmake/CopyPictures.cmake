# cmake -DFROM=folder -DTO=folder -P CopyPictures.cmake: the console's pictures, as drawn.
file(GLOB pictures ${FROM}/*.jpg)
if(NOT pictures)
    message(FATAL_ERROR "no pictures in ${FROM}")
endif()
file(COPY ${pictures} DESTINATION ${TO})
