# Type libraries from IDL with widl (cross builds only).
# qiv_widl(<idl> OUT_DIR <dir> [NAME <base>])
#   makes <dir>/<base>.tlb, <dir>/<base>_h.h and <dir>/<base>_i.c (identifiers)
#   in one widl run and a target <base>_idl that builds them;
#   sets <base>_TLB, <base>_HEADER and <base>_IIDS in the caller's scope.
# The system IDLs come from Wine's development files; stdole2.tlb from Wine's DLL folder.
find_path(QIV_WIDL_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH REQUIRED DOC "System IDL files for widl")
find_path(QIV_STDOLE_DIR stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  /usr/lib/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH REQUIRED DOC "Folder of stdole2.tlb")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QIV_WIDL_ARCH --win64)
else()
  set(QIV_WIDL_ARCH --win32)
endif()

function(qiv_widl idl)
  cmake_parse_arguments(W "" "OUT_DIR;NAME" "" ${ARGN})
  get_filename_component(idl ${idl} ABSOLUTE)
  if(NOT W_NAME)
    get_filename_component(W_NAME ${idl} NAME_WE)
  endif()
  file(MAKE_DIRECTORY ${W_OUT_DIR})
  set(tlb ${W_OUT_DIR}/${W_NAME}.tlb)
  set(hdr ${W_OUT_DIR}/${W_NAME}_h.h)
  set(iids ${W_OUT_DIR}/${W_NAME}_i.c)
  get_filename_component(idldir ${idl} DIRECTORY)
  add_custom_command(
    OUTPUT ${tlb} ${hdr} ${iids}
    COMMAND ${QIV_WIDL} ${QIV_WIDL_ARCH} -I${idldir} -I${QIV_WIDL_IDL_DIR} -L${QIV_STDOLE_DIR}
            -t -T ${tlb} -h -H ${hdr} -u -U ${iids} ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${W_NAME}.idl"
    VERBATIM)
  add_custom_target(${W_NAME}_idl DEPENDS ${tlb} ${hdr} ${iids})
  set(${W_NAME}_TLB ${tlb} PARENT_SCOPE)
  set(${W_NAME}_HEADER ${hdr} PARENT_SCOPE)
  set(${W_NAME}_IIDS ${iids} PARENT_SCOPE)
endfunction()
