# The licence text of the setup program: NOTICE (the repository's LICENSE),
# then TEXT (the GNU General Public License version 2), with CR LF line ends.
#   cmake -DNOTICE=<file> -DTEXT=<file> -DOUTPUT=<file> -P license.cmake
file(READ ${NOTICE} notice)
file(READ ${TEXT} text)
set(whole "${notice}\n\n${text}")
string(REPLACE "\r\n" "\n" whole "${whole}")
string(REPLACE "\n" "\r\n" whole "${whole}")
file(WRITE ${OUTPUT} "${whole}")
