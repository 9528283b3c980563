@echo off
REM TIME=120000
REM COMMENTS=before the changes
C:\windows\smartdrv.exe c+ /F /Q
IF EXIST "c:\windows\zemo\snapshot\trestore.exe" GOTO QUICKDOSRESTORE
IF NOT EXIST "c:\windows\zemo\snapshot\trestore.exe" GOTO DOSRESTORE

:QUICKDOSRESTORE
"c:\windows\zemo\snapshot\trestore.exe" "c:\windows\temp\trestdat" -o 
IF ERRORLEVEL 5 GOTO ENDQUICKDOSRESTORE
IF ERRORLEVEL 4 GOTO DOSRESTORE
IF ERRORLEVEL 3 GOTO DOSRESTORE
IF ERRORLEVEL 2 GOTO DOSRESTORE
IF ERRORLEVEL 1 GOTO DOSRESTORE
IF ERRORLEVEL 0 GOTO ENDQUICKDOSRESTORE
:DOSRESTORE

c:\windows\command\ATTRIB "c:\windows\zemo\snapshot\backup\*.*" +A -R -S -H

REM FILENAME="C:\WINDOWS\SYSTEM.INI" VERSION=
COPY /Y "c:\windows\zemo\snapshot\backup\5A1C0001.000" "C:\WINDOWS\SYSTEM.INI"

REM FILENAME="C:\MSDOS.SYS" VERSION=
IF EXIST "C:\MSDOS.SYS" c:\windows\command\ATTRIB -R -S -H "C:\MSDOS.SYS"
COPY /Y "c:\windows\zemo\snapshot\backup\5A1C0002.000" "C:\MSDOS.SYS"
c:\windows\command\ATTRIB  +A  +S  +H  +R  "C:\MSDOS.SYS"

REM FILENAME="C:\WINDOWS\SYSTEM.DAT" VERSION=
IF EXIST "C:\WINDOWS\SYSTEM.DAT" c:\windows\command\ATTRIB -R -S -H "C:\WINDOWS\SYSTEM.DAT"
COPY /Y "c:\windows\zemo\snapshot\backup\5A1C0003.000" "C:\WINDOWS\SYSTEM.DAT"
c:\windows\command\ATTRIB  +A  -S  +H  -R  "C:\WINDOWS\SYSTEM.DAT"

REM FILENAME="C:\WINDOWS\FLAG.DAT" VERSION=
IF EXIST "C:\WINDOWS\FLAG.DAT" c:\windows\command\ATTRIB -R -S -H "C:\WINDOWS\FLAG.DAT"
rem > "C:\WINDOWS\FLAG.DAT"
c:\windows\command\ATTRIB  +A  -S  +H  -R  "C:\WINDOWS\FLAG.DAT"

REM FILENAME="C:\WINDOWS\WIN.INI" VERSION=
COPY /Y "c:\windows\zemo\snapshot\backup\5A1C0005.000" "C:\WINDOWS\WIN.INI"

c:\windows\command\ATTRIB "c:\windows\zemo\snapshot\backup\*.*" +A +R +S +H

:ENDQUICKDOSRESTORE

DEL "c:\config.sys"

"C:\WINDOWS\regedit.exe" "/L:C:\WINDOWS\system.dat" "/R:C:\WINDOWS\user.dat" "c:\windows\zemo\snapshot\\REGWIN.INI" 

rem > "c:\windows\zemo\snapshot\rb.suc"
