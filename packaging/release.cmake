# What the package and the desktop metadata say about this release, read once
# for packaging/CMakeLists.txt and package.cmake:
#   KVX_RELEASE_DATE      the date of the changelog's newest entry (YYYY-MM-DD)
#   KVX_PACKAGE_MAINTAINER, KVX_HOMEPAGE, KVX_BUGTRACKER, KVX_SCREENSHOT_URL
#                         cache entries, set at configure time
# The changelog's newest entry must be the project's version: a release
# without its entry fails here rather than in the archive.
include_guard(GLOBAL)

set(KVX_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/changelog)
file(STRINGS ${KVX_CHANGELOG} changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^kvxc \\(([^)]+)\\) ")
  message(FATAL_ERROR "${KVX_CHANGELOG}: the first line is no entry header: ${changelog_head}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${KVX_CHANGELOG}: the newest entry is ${CMAKE_MATCH_1}, "
                      "the project is ${PROJECT_VERSION}; add an entry for this release")
endif()
set(changelog_trailer "")
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^ -- ")
    set(changelog_trailer "${line}")
    break()
  endif()
endforeach()
# " -- Name <mail>  Thu, 10 Dec 2026 12:00:00 +0000"
if(NOT changelog_trailer MATCHES ">  [A-Z][a-z][a-z], ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "${KVX_CHANGELOG}: the newest entry has no dated trailer line")
endif()
set(day ${CMAKE_MATCH_1})
set(month_name ${CMAKE_MATCH_2})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${month_name} month)
if(month EQUAL -1)
  message(FATAL_ERROR "${KVX_CHANGELOG}: no month ${month_name}")
endif()
math(EXPR month "${month} + 1")
if(month LESS 10)
  set(month 0${month})
endif()
if(day LESS 10)
  set(day 0${day})
endif()
set(KVX_RELEASE_DATE ${year}-${month}-${day})

# Debian's tools take the maintainer from DEBFULLNAME and DEBEMAIL.
set(default_maintainer "kvxc maintainers <maintainers@kvxc.example.org>")
if(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
  set(default_maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(KVX_PACKAGE_MAINTAINER "${default_maintainer}" CACHE STRING "Maintainer of the Debian package: Name <mail>")
set(KVX_HOMEPAGE "https://kvxc.example.org/" CACHE STRING "The project's web page")
set(KVX_BUGTRACKER "https://kvxc.example.org/issues" CACHE STRING "Where bugs are reported")
set(KVX_SCREENSHOT_URL "https://kvxc.example.org/kvxc-window.png"
    CACHE STRING "Where docs/kvxc-window.png is published, for the software centres")
if(NOT KVX_PACKAGE_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
  message(FATAL_ERROR "KVX_PACKAGE_MAINTAINER \"${KVX_PACKAGE_MAINTAINER}\" is not \"Name <mail>\"")
endif()
