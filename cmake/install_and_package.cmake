# Installation (bin/cdb2bem, the manual page, share/doc/cdb2bem) and the
# Debian package built from it with CPack (`make package` at the top).
include(GNUInstallDirs)

# Installing (and CPack) takes what `make program` built: the program and
# the compressed documents, not the tests that share the build tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

# The package's maintainer is "cdb2bem authors" at the address the build is
# given: -DCDB2BEM_MAINTAINER=ADDRESS, or the environment variable of that
# name when CMake first configures the build (`make package
# CDB2BEM_MAINTAINER=ADDRESS` passes it on). A value holding "<" is taken as
# the whole field, name and address.
if(DEFINED ENV{CDB2BEM_MAINTAINER} AND NOT DEFINED CACHE{CDB2BEM_MAINTAINER})
  set(CDB2BEM_MAINTAINER "$ENV{CDB2BEM_MAINTAINER}" CACHE STRING "Address of the package's maintainer")
endif()
set(CDB2BEM_MAINTAINER "maintainers@cdb2bem.org" CACHE STRING "Address of the package's maintainer")
# A build tree configured before the maintainer became "cdb2bem authors".
if(CDB2BEM_MAINTAINER STREQUAL "cdb2bem maintainers <maintainers@cdb2bem.org>")
  set(CDB2BEM_MAINTAINER "maintainers@cdb2bem.org" CACHE STRING "Address of the package's maintainer" FORCE)
endif()
if(CDB2BEM_MAINTAINER MATCHES "<")
  set(CDB2BEM_MAINTAINER_FIELD "${CDB2BEM_MAINTAINER}")
else()
  set(CDB2BEM_MAINTAINER_FIELD "cdb2bem authors <${CDB2BEM_MAINTAINER}>")
endif()

# Debian wants manual pages and changelogs compressed, without time stamps.
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file(doc/changelog changelog @ONLY)
foreach(file cdb2bem.1 changelog)
  add_custom_command(OUTPUT ${file}.gz
                     COMMAND ${GZIP_PROGRAM} -9nc ${file} > ${file}.gz
                     DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${file}
                     WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} VERBATIM)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS
                  ${CMAKE_CURRENT_BINARY_DIR}/cdb2bem.1.gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CDB2BEM_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/cdb2bem)
install(TARGETS cdb2bem RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The manual names the installed files by their full paths: the page is made
# again under the prefix of the installation (`make install PREFIX=/opt/x`,
# /usr in the package), which is known only when it is installed.
set(CDB2BEM_INSTALLED_MAN ${CMAKE_CURRENT_BINARY_DIR}/installed-man)
install(CODE "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(doc \"\${CMAKE_INSTALL_PREFIX}/${CDB2BEM_DOC_DIR}\")
  set(MAN_EXAMPLES \"\${doc}/examples/\")
  set(MAN_LICENCE \"\${doc}/copyright\")
  set(MAN_README \"\${doc}/\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/doc/cdb2bem.1\"
                 \"${CDB2BEM_INSTALLED_MAN}/cdb2bem.1\" @ONLY)
  execute_process(COMMAND \"${GZIP_PROGRAM}\" -9nf cdb2bem.1
                  WORKING_DIRECTORY \"${CDB2BEM_INSTALLED_MAN}\" RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR \"cannot compress the manual page: \${status}\")
  endif()")
install(FILES ${CDB2BEM_INSTALLED_MAN}/cdb2bem.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# doc/copyright holds the licence's full text, as Debian wants it.
install(FILES README.md doc/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CDB2BEM_DOC_DIR})
install(FILES examples/ANSYS_Model.cdb examples/README.md DESTINATION ${CDB2BEM_DOC_DIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cdb2bem)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${CDB2BEM_MAINTAINER_FIELD}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CDB2BEM_MAINTAINER_FIELD}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "translate ANSYS CDB surface models into boundary-element solver input")
# CPack puts the summary in front as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "cdb2bem reads the finite-element model ANSYS_Model.cdb, a closed surface
meshed with three- and four-node elements in the ANSYS CDB text format,
and writes beside it input.dat, the input file of a three-dimensional
boundary-element stress solver, and input.plt, a Tecplot ASCII plot file
of the same mesh. Quadrilaterals are cut into triangles, displacement
constraints and element pressures become per-triangle conditions, and
field points and cells are carried over.")
include(CPack)
