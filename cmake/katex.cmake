# KaTeX, which typesets the math of the workbench's student view, from
# Debian's libjs-katex (the script and its style sheet) and fonts-katex
# (the fonts). Sets ZEKALG_KATEX_BASE, the folder the files are named from,
# and ZEKALG_KATEX_FILES: katex/katex.min.js, katex/katex.min.css and each
# woff2 font the style sheet names (katex/fonts/NAME.woff2, where the style
# sheet looks for it beside itself). Every browser the workbench supports
# reads woff2, so the other formats the style sheet offers are left out.
set(ZEKALG_KATEX_BASE /usr/share/javascript CACHE PATH
    "The folder that holds katex/ (Debian's libjs-katex and fonts-katex)")
foreach(name katex.min.js katex.min.css)
  if(NOT EXISTS ${ZEKALG_KATEX_BASE}/katex/${name})
    message(FATAL_ERROR "${ZEKALG_KATEX_BASE}/katex/${name} is missing: install the Debian "
                        "package libjs-katex (bash scripts/deps.sh installs it)")
  endif()
endforeach()
file(READ ${ZEKALG_KATEX_BASE}/katex/katex.min.css katex_css)
string(REGEX MATCHALL "fonts/[A-Za-z0-9_-]+\\.woff2" katex_fonts "${katex_css}")
list(REMOVE_DUPLICATES katex_fonts)
if(NOT katex_fonts)
  message(FATAL_ERROR "${ZEKALG_KATEX_BASE}/katex/katex.min.css names no woff2 font")
endif()
set(ZEKALG_KATEX_FILES katex/katex.min.js katex/katex.min.css)
foreach(font IN LISTS katex_fonts)
  if(NOT EXISTS ${ZEKALG_KATEX_BASE}/katex/${font})
    message(FATAL_ERROR "${ZEKALG_KATEX_BASE}/katex/${font} is missing: install the Debian "
                        "package fonts-katex (bash scripts/deps.sh installs it)")
  endif()
  list(APPEND ZEKALG_KATEX_FILES katex/${font})
endforeach()
unset(katex_css)
unset(katex_fonts)
