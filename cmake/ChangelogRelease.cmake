# The version and the date of the release come from the first entry of debian/changelog, the
# one place where they are written: project(VERSION), the programs, the man pages, the
# metainfo and the Debian package all take them from there. Included before project(), so it
# names the file from this directory. Sets TARSKCJS_RELEASE_VERSION (1.2.3) and
# TARSKCJS_RELEASE_DATE (YYYY-MM-DD, the day as the entry writes it).
set(tarskcjs_changelog ${CMAKE_CURRENT_LIST_DIR}/../debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${tarskcjs_changelog})

# The first heading, "tarskcjs (1.0.0) unstable; urgency=medium", and the first trailer,
# " -- Name <address>  Mon, 07 Dec 2026 12:00:00 +0000", belong to the latest entry.
file(STRINGS ${tarskcjs_changelog} tarskcjs_headings REGEX "^[a-z0-9][a-z0-9.+-]* \\(")
file(STRINGS ${tarskcjs_changelog} tarskcjs_trailers REGEX "^ -- ")
if(NOT tarskcjs_headings OR NOT tarskcjs_trailers)
    message(FATAL_ERROR "${tarskcjs_changelog} has no complete entry")
endif()
list(GET tarskcjs_headings 0 tarskcjs_heading)
list(GET tarskcjs_trailers 0 tarskcjs_trailer)

# A native package: the version is the project's own, three numbers, no Debian revision.
if(NOT tarskcjs_heading MATCHES "^tarskcjs \\(([0-9]+\\.[0-9]+\\.[0-9]+)\\) ")
    message(FATAL_ERROR "The latest entry of ${tarskcjs_changelog} does not name a version "
                        "MAJOR.MINOR.PATCH of tarskcjs: \"${tarskcjs_heading}\"")
endif()
set(TARSKCJS_RELEASE_VERSION ${CMAKE_MATCH_1})

if(NOT tarskcjs_trailer MATCHES
   ">  [A-Z][a-z][a-z], ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "The latest entry of ${tarskcjs_changelog} has no date of the form "
                        "\"Mon, 07 Dec 2026 12:00:00 +0000\": \"${tarskcjs_trailer}\"")
endif()
set(tarskcjs_day ${CMAKE_MATCH_1})
set(tarskcjs_year ${CMAKE_MATCH_3})
set(tarskcjs_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND tarskcjs_months ${CMAKE_MATCH_2} tarskcjs_month)
if(tarskcjs_month LESS 0)
    message(FATAL_ERROR "Unknown month \"${CMAKE_MATCH_2}\" in ${tarskcjs_changelog}")
endif()
math(EXPR tarskcjs_month "${tarskcjs_month} + 1")
foreach(part IN ITEMS tarskcjs_month tarskcjs_day)
    string(LENGTH "${${part}}" length)
    if(length EQUAL 1)
        set(${part} "0${${part}}")
    endif()
endforeach()
set(TARSKCJS_RELEASE_DATE "${tarskcjs_year}-${tarskcjs_month}-${tarskcjs_day}")
