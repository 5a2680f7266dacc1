# Fails when README.md gives no version, or one that is not project()'s: every
# "version X.Y" and every release zip name "quorvin-X.Y-win64.zip" in it must say VERSION.
#   cmake -DREADME=README.md -DVERSION=X.Y -P readme-version.cmake
file(READ ${README} text)
string(REGEX MATCHALL "[Vv]ersion [0-9]+(\\.[0-9]+)*|quorvin-[0-9]+(\\.[0-9]+)*-win64" mentions "${text}")
if(NOT mentions)
  message(FATAL_ERROR "${README} gives no version; project() says ${VERSION}")
endif()
foreach(mention IN LISTS mentions)
  string(REGEX MATCH "[0-9]+(\\.[0-9]+)*" version "${mention}")
  if(NOT version STREQUAL VERSION)
    message(FATAL_ERROR "${README} says \"${mention}\", but project() says version ${VERSION}")
  endif()
endforeach()
list(LENGTH mentions count)
message(STATUS "${README}: ${count} mentions of version ${VERSION}")
