# Type libraries from IDL with widl (cross builds only).
# qiv_widl(<idl> OUT_DIR <dir> [NAME <base>])
#   makes <dir>/<base>.tlb, <dir>/<base>_h.h and <dir>/<base>_i.c (identifiers);
#   sets <base>_TLB, <base>_HEADER and <base>_IIDS in the caller's scope.
# The system IDLs come from Wine's development files; stdole2.tlb from Wine's DLL folder.
set(QIV_WIDL_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "System IDL files for widl")
set(QIV_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "Folder of stdole2.tlb")
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
  set(common ${QIV_WIDL_ARCH} -I${idldir} -I${QIV_WIDL_IDL_DIR} -L${QIV_STDOLE_DIR})
  add_custom_command(
    OUTPUT ${tlb} ${hdr} ${iids}
    COMMAND ${QIV_WIDL} ${common} -t -o ${tlb} ${idl}
    COMMAND ${QIV_WIDL} ${common} -h -o ${hdr} ${idl}
    COMMAND ${QIV_WIDL} ${common} -u -o ${iids} ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${W_NAME}.idl"
    VERBATIM)
  set(${W_NAME}_TLB ${tlb} PARENT_SCOPE)
  set(${W_NAME}_HEADER ${hdr} PARENT_SCOPE)
  set(${W_NAME}_IIDS ${iids} PARENT_SCOPE)
endfunction()
