# cmake -DOUT=file -DHEAD=notices.txt -P Notices.cmake: the notices, then the GPL-3.0 and
# LGPL-3.0 texts as the system keeps them, with Windows line ends for Notepad.
set(texts)
foreach(licence GPL-3 LGPL-3)
  set(file /usr/share/common-licenses/${licence})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: it comes with Debian's base-files")
  endif()
  file(READ ${file} text)
  string(APPEND texts "\n\n==============================================================================\n"
                      "${licence}.0, the full text\n"
                      "==============================================================================\n\n" "${text}")
endforeach()
file(READ ${HEAD} head)
string(REPLACE "\r\n" "\n" all "${head}${texts}")
string(REPLACE "\n" "\r\n" all "${all}")
file(WRITE ${OUT} "${all}")
