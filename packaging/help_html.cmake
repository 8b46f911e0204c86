# Writes the help page from its template (help_page.html.in), which follows the
# window: in it
#   @BALLOON_<id>@  becomes the text of that help context from the help
#                   document (the note its question mark shows), set apart
#   @CONTENTS@      becomes a list of links to every section (<h2 id="...">)
#   @VERSION@, @HOMEPAGE@, @BUGTRACKER@  become those values
# A section that a help context's marker opens carries the anchor "ctx<id>";
# the build fails on an anchor or a note of a context the document does not
# hold, and on any placeholder left over.
#
#   cmake -DHELP_XML=help.xml -DHELP_TEMPLATE=help_page.html.in -DHELP_HTML=kvxc.html
#         -DVERSION=1.0.0.1 -DHOMEPAGE=... -DBUGTRACKER=... -P help_html.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var HELP_XML HELP_TEMPLATE HELP_HTML VERSION HOMEPAGE BUGTRACKER)
  if(NOT ${var})
    message(FATAL_ERROR "help_html.cmake needs ${var}")
  endif()
endforeach()

file(READ ${HELP_XML} xml)
file(READ ${HELP_TEMPLATE} page)

# Every context by number: its text.
set(ids "")
while(TRUE)
  string(FIND "${xml}" "<Context " start)
  if(start EQUAL -1)
    break()
  endif()
  string(SUBSTRING "${xml}" ${start} -1 xml)
  string(FIND "${xml}" ">" head_end)
  string(SUBSTRING "${xml}" 0 ${head_end} head)
  string(FIND "${xml}" "</Context>" close)
  if(close EQUAL -1)
    message(FATAL_ERROR "${HELP_XML}: a Context is not closed")
  endif()
  string(SUBSTRING "${xml}" 0 ${close} body)
  math(EXPR rest "${close} + 10")
  string(SUBSTRING "${xml}" ${rest} -1 xml)

  if(NOT head MATCHES "id=\"([0-9]+)\"")
    message(FATAL_ERROR "${HELP_XML}: a Context without a number")
  endif()
  set(id ${CMAKE_MATCH_1})
  string(FIND "${body}" "<![CDATA[" cdata)
  string(FIND "${body}" "]]>" cdata_end REVERSE)
  if(cdata EQUAL -1 OR cdata_end EQUAL -1)
    message(FATAL_ERROR "${HELP_XML}: Context ${id} holds no CDATA text")
  endif()
  math(EXPR from "${cdata} + 9")
  math(EXPR len "${cdata_end} - ${from}")
  string(SUBSTRING "${body}" ${from} ${len} text)
  string(STRIP "${text}" text)
  set(text_${id} "${text}")
  list(APPEND ids ${id})
endwhile()

# The notes of the help contexts.
string(REGEX MATCHALL "@BALLOON_[0-9]+@" notes "${page}")
foreach(note IN LISTS notes)
  string(REGEX REPLACE "@BALLOON_([0-9]+)@" "\\1" id "${note}")
  if(NOT DEFINED text_${id})
    message(FATAL_ERROR "${HELP_TEMPLATE}: ${note}, but ${HELP_XML} holds no context ${id}")
  endif()
  string(REPLACE "${note}" "<div class=\"about\">${text_${id}}</div>" page "${page}")
endforeach()

# The anchors the window opens the page at.
string(REGEX MATCHALL "<a name=\"ctx[0-9]+\">" anchors "${page}")
foreach(anchor IN LISTS anchors)
  string(REGEX REPLACE "<a name=\"ctx([0-9]+)\">" "\\1" id "${anchor}")
  if(NOT DEFINED text_${id})
    message(FATAL_ERROR "${HELP_TEMPLATE}: the anchor ctx${id} names no context of ${HELP_XML}")
  endif()
endforeach()

# The contents: a link to each section, in the page's order.
set(contents "")
string(REGEX MATCHALL "<h2 id=\"[^\"]+\">[^\n]*</h2>" headings "${page}")
foreach(heading IN LISTS headings)
  string(REGEX REPLACE "<h2 id=\"([^\"]+)\">.*" "\\1" anchor "${heading}")
  string(REGEX REPLACE "<[^>]*>" "" title "${heading}")
  string(APPEND contents "<li><a href=\"#${anchor}\">${title}</a></li>\n")
endforeach()
string(STRIP "${contents}" contents)
string(REPLACE "@CONTENTS@" "${contents}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@HOMEPAGE@" "${HOMEPAGE}" page "${page}")
string(REPLACE "@BUGTRACKER@" "${BUGTRACKER}" page "${page}")

if(page MATCHES "@[A-Z_0-9]+@")
  message(FATAL_ERROR "${HELP_TEMPLATE}: ${CMAKE_MATCH_0} was left in the page")
endif()
file(WRITE ${HELP_HTML} "${page}")
