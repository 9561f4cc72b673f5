# A small Windows program that needs nothing beside it: VigilantMouse.exe, and the floor
# it is measured against.
function(make_lean_windows_program target)
  target_compile_definitions(${target} PRIVATE
    _WIN32_WINNT=0x0600   # Vista is the oldest system it runs on
    PSAPI_VERSION=1       # psapi calls from PSAPI.DLL: Vista's kernel32 lacks the K32 ones
    WIN32_LEAN_AND_MEAN)
  if(MSVC)
    target_compile_options(${target} PRIVATE /O1 /GR- /EHs-c- /W4)
    # A GUI program whose entry is main, not WinMain.
    # /MANIFEST:NO: the resource script carries the manifest; a second one would clash.
    target_link_options(${target} PRIVATE /ENTRY:mainCRTStartup /MANIFEST:NO /OPT:REF /OPT:ICF
      /DYNAMICBASE /HIGHENTROPYVA  # loaded at a random address anywhere in 64-bit space (ASLR)
      /NXCOMPAT                    # data is never run as code (DEP)
      /CETCOMPAT)                  # return addresses checked against a shadow stack
    # Indirect calls only to known function starts.
    target_compile_options(${target} PRIVATE /guard:cf)
    target_link_options(${target} PRIVATE /guard:cf)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY MultiThreaded)
  else()
    target_compile_options(${target} PRIVATE
      -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
      -ffunction-sections -fdata-sections -Wall -Wextra)
    target_link_options(${target} PRIVATE
      -static -s -Wl,--gc-sections
      -Wl,--no-insert-timestamp   # the same source gives the same bytes
      # binutils' defaults today, stated so that no other default can drop them: loaded at a
      # random address anywhere in 64-bit space (ASLR), and data never run as code (DEP).
      -Wl,--dynamicbase,--high-entropy-va,--nxcompat)
    # No -fstack-protector: its libssp adds an ADVAPI32 import and a random-number call before
    # main, for a program with no buffer worth guarding.
  endif()
endfunction()
