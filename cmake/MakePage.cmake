cmake_minimum_required(VERSION 3.25)
# Assembles the self-contained page: the worker's script (the WebAssembly modules, each with its
# binary inlined, and Worker.js) goes into Page.html as a script block of its own, which the page
# starts as a Web Worker from a Blob, so that the page needs no other file and works from file://.
file(READ ${PAGE} page)
set(worker "")
string(REPLACE "|" ";" modules "${MODULES}")
foreach(module ${modules})
  file(READ ${module} code)
  string(APPEND worker "${code}\n")
endforeach()
file(READ ${WORKER} code)
string(APPEND worker "${code}")
# Nothing inside the block may end it early.
string(REPLACE "</script" "<\\/script" worker "${worker}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(FIND "${page}" "@WORKER@" at)
if(at EQUAL -1)
  message(FATAL_ERROR "Page.html has no @WORKER@ place")
endif()
string(SUBSTRING "${page}" 0 ${at} head)
math(EXPR rest "${at} + 8")
string(SUBSTRING "${page}" ${rest} -1 tail)
file(WRITE ${OUTPUT} "${head}${worker}${tail}")
