# Lays out the program's folder afresh from LIST (lines of "destination<TAB>
# source"), strips the executables and DLLs (and, given SIGN, the path of
# sign.sh, with SIGN_PKCS12 and SIGN_TIMESTAMP, signs them), and writes for
# the installer
#   NSH/install-files.nsh    what to install, and its size
#   NSH/uninstall-files.nsh  exactly those files to remove, then their folders
#                            deepest first, each only if left empty
# cmake -DLIST=... -DSTAGE=... -DSTRIP=... -DNSH=... [-DSIGN=...] -P stage.cmake

# Nothing from an earlier layout may reach the installer or the zip.
file(REMOVE_RECURSE ${STAGE})
file(STRINGS ${LIST} lines)
set(installs)
set(removes)
set(folders)
set(bytes 0)
set(last_folder "-")
foreach(line ${lines})
    string(REPLACE "\t" ";" pair "${line}")
    list(GET pair 0 destination)
    list(GET pair 1 source)
    get_filename_component(folder ${destination} DIRECTORY)
    file(MAKE_DIRECTORY ${STAGE}/${folder})
    file(COPY_FILE ${source} ${STAGE}/${destination})
    # Debugging symbols are most of the size of the toolkit's and the
    # compiler's DLLs, and no use to an operator.
    if(destination MATCHES "\\.(exe|dll)$")
        execute_process(COMMAND ${STRIP} --strip-unneeded ${STAGE}/${destination} COMMAND_ERROR_IS_FATAL ANY)
        if(SIGN)
            execute_process(COMMAND bash ${SIGN} ${STAGE}/${destination} ${SIGN_PKCS12} ${SIGN_TIMESTAMP}
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()
    endif()
    file(SIZE ${STAGE}/${destination} size)
    math(EXPR bytes "${bytes} + ${size}")

    string(REPLACE "/" "\\" windows "${destination}")
    string(REPLACE "/" "\\" windows_folder "${folder}")
    if(NOT folder STREQUAL last_folder)
        if(folder STREQUAL "")
            list(APPEND installs "SetOutPath \"$INSTDIR\"")
        else()
            list(APPEND installs "SetOutPath \"$INSTDIR\\${windows_folder}\"")
        endif()
        set(last_folder "${folder}")
    endif()
    list(APPEND installs "File \"${STAGE}/${destination}\"")
    list(APPEND removes "Delete \"$INSTDIR\\${windows}\"")
    # Every folder on the way, so that licenses/ goes once licenses/qt/ has.
    while(NOT folder STREQUAL "")
        list(APPEND folders "${folder}")
        get_filename_component(folder ${folder} DIRECTORY)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
# Deepest first: a longer path sorted after its parent, read backwards.
list(SORT folders)
list(REVERSE folders)
foreach(folder ${folders})
    string(REPLACE "/" "\\" folder "${folder}")
    list(APPEND removes "RMDir \"$INSTDIR\\${folder}\"")
endforeach()

math(EXPR kilobytes "(${bytes} + 1023) / 1024")
list(PREPEND installs "!define INSTALLED_KB ${kilobytes}")
list(JOIN installs "\n" installs)
list(JOIN removes "\n" removes)
file(WRITE ${NSH}/install-files.nsh "${installs}\n")
file(WRITE ${NSH}/uninstall-files.nsh "${removes}\n")
