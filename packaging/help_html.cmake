# Writes the help page: a short introduction, then one section per context of
# the help document, the editor's groups in their order on the window first,
# the other contexts after them by number.
#
#   cmake -DHELP_XML=help.xml -DHELP_HTML=kvxc.html -DVERSION=1.0.0.1 -P help_html.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT HELP_XML OR NOT HELP_HTML)
  message(FATAL_ERROR "help_html.cmake needs HELP_XML and HELP_HTML")
endif()

# Help contexts of the editor's groups, left to right and top to bottom.
set(group_order 1 2 3 6 9 7 5 10 105 8 104 106 102 107)

file(READ ${HELP_XML} xml)

# Every context by number: its name and its HTML text.
set(ids "")
set(pos 0)
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
  set(name "")
  if(head MATCHES "name=\"([^\"]*)\"")
    set(name "${CMAKE_MATCH_1}")
  endif()
  string(FIND "${body}" "<![CDATA[" cdata)
  string(FIND "${body}" "]]>" cdata_end REVERSE)
  if(cdata EQUAL -1 OR cdata_end EQUAL -1)
    message(FATAL_ERROR "${HELP_XML}: Context ${id} holds no CDATA text")
  endif()
  math(EXPR from "${cdata} + 9")
  math(EXPR len "${cdata_end} - ${from}")
  string(SUBSTRING "${body}" ${from} ${len} text)
  string(STRIP "${text}" text)
  set(name_${id} "${name}")
  set(text_${id} "${text}")
  list(APPEND ids ${id})
endwhile()

list(LENGTH ids count)
if(count EQUAL 0)
  message(FATAL_ERROR "${HELP_XML}: no help contexts")
endif()

set(order "")
foreach(id IN LISTS group_order)
  if(DEFINED text_${id})
    list(APPEND order ${id})
  endif()
endforeach()
list(SORT ids COMPARE NATURAL)
foreach(id IN LISTS ids)
  if(NOT id IN_LIST order)
    list(APPEND order ${id})
  endif()
endforeach()

set(toc "")
set(sections "")
foreach(id IN LISTS order)
  string(APPEND toc "<li><a href=\"#ctx${id}\">${name_${id}}</a></li>\n")
  string(APPEND sections "<h2 id=\"ctx${id}\">${name_${id}}</h2>\n<p>${text_${id}}</p>\n\n")
endforeach()

file(WRITE ${HELP_HTML} "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>kvxc help</title>
<style>
body { font-family: sans-serif; max-width: 46em; margin: 1em auto; padding: 0 1em; line-height: 1.4; }
h2 { border-bottom: 1px solid #ccc; margin-top: 1.6em; }
code { background: #f2f2f2; padding: 0 0.2em; }
</style>
</head>
<body>
<h1>kvxc ${VERSION}</h1>
<p>kvxc reads the settings of an RDS/RBDS encoder over a serial port, lets you
edit them, and writes back only what you changed. Pick the encoder's port in
the tool panel (or in Settings), press <b>Connect</b>, edit, and press
<b>Save Changes</b>. Each group of the editor has a blue question mark that
shows its part of this page; every section is below, in the order of the
groups on the window.</p>
<p>For the command line, see the manual pages <code>kvxctl(1)</code> and
<code>kvxsim(1)</code>. When a port cannot be opened, the message under the
status names the reason and how to mend it.</p>
<ul>
${toc}</ul>

${sections}</body>
</html>
")
