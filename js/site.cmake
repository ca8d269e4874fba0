# Assembles the workbench as static files (run by the `site` target with
# WORKBENCH_DIR, SERVICE, PACKAGE_DIR, SITE_DIR, KATEX_BASE and
# KATEX_FILES): the workbench of `zekalg serve` with its KaTeX, whose
# requests to the service wasm_adapter.js answers with the module when no
# service is there (workbench_service.mjs, a worker), and the package in
# zekalg/. Any static file server can serve the folder, at any path.
file(REMOVE_RECURSE ${SITE_DIR})
file(MAKE_DIRECTORY ${SITE_DIR}/zekalg)
foreach(name workbench.js workbench.css wasm_adapter.js)
  file(COPY_FILE ${WORKBENCH_DIR}/${name} ${SITE_DIR}/${name})
endforeach()
file(COPY_FILE ${SERVICE} ${SITE_DIR}/workbench_service.mjs)
# KaTeX, as `zekalg serve` serves it (cmake/katex.cmake).
foreach(name IN LISTS KATEX_FILES)
  get_filename_component(folder ${SITE_DIR}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${KATEX_BASE}/${name} ${SITE_DIR}/${name})
endforeach()
foreach(name index.mjs text.mjs errors.mjs zekalg_engine.web.mjs zekalg_engine.wasm)
  file(COPY_FILE ${PACKAGE_DIR}/${name} ${SITE_DIR}/zekalg/${name})
endforeach()

# The page names its files from the server's root; here they are next to
# it. The adapter comes first, before the workbench's own script runs.
file(READ ${WORKBENCH_DIR}/index.html page)
string(REGEX REPLACE "(href|src)=\"/" "\\1=\"" page "${page}")
string(FIND "${page}" "<script" at)
if(at LESS 0)
  message(FATAL_ERROR "index.html has no script for the adapter to precede")
endif()
string(SUBSTRING "${page}" 0 ${at} head)
string(SUBSTRING "${page}" ${at} -1 rest)
file(WRITE ${SITE_DIR}/index.html
  "${head}<meta name=\"zekalg-engine\" content=\"auto\">\n"
  "<script src=\"wasm_adapter.js\"></script>\n${rest}")
