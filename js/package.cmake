# Assembles the package folder from the linked module and the package's
# sources (run by the `package` target with ENGINE_JS, PACKAGE_DIR,
# SOURCE_DIR and SOURCES, a comma-separated list).
get_filename_component(engine_dir ${ENGINE_JS} DIRECTORY)
file(MAKE_DIRECTORY ${PACKAGE_DIR})
file(READ ${ENGINE_JS} glue)
# Node loads the module's JavaScript as CommonJS (the package is "type":
# "module", so it needs the .cjs name); browsers import it as an ES module:
# the same text with the factory exported.
file(WRITE ${PACKAGE_DIR}/zekalg_engine.cjs "${glue}")
file(WRITE ${PACKAGE_DIR}/zekalg_engine.web.mjs "${glue}\nexport default createZekalgEngine;\n")
file(COPY_FILE ${engine_dir}/zekalg_engine.wasm ${PACKAGE_DIR}/zekalg_engine.wasm ONLY_IF_DIFFERENT)
string(REPLACE "," ";" SOURCES "${SOURCES}")
foreach(source IN LISTS SOURCES)
  get_filename_component(name ${source} NAME)
  if(name STREQUAL "package.json")
    # js/package.json's scripts build this folder and copy from it: here
    # they have nothing to do, and `npm pack` in this folder packs it as it is.
    file(READ ${SOURCE_DIR}/${source} manifest)
    string(JSON manifest REMOVE "${manifest}" scripts)
    file(WRITE ${PACKAGE_DIR}/${name} "${manifest}\n")
  else()
    file(COPY_FILE ${SOURCE_DIR}/${source} ${PACKAGE_DIR}/${name} ONLY_IF_DIFFERENT)
  endif()
endforeach()
