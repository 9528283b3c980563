@echo off

c:\windows\command\ATTRIB "c:\windows\zemo\snapshot\backup\*.*" +A -R -S -H

REM FILENAME="C:\My Documents\Letter to the editor.txt" VERSION=
COPY /Y "c:\windows\zemo\snapshot\backup\5A1C0006.000" "C:\My Documents\Letter to the editor.txt"

REM FILENAME="C:\AUTOEXEC.BAT" VERSION=
COPY /Y "c:\windows\zemo\snapshot\backup\5A1C0007.000" "C:\AUTOEXEC.BAT"

c:\windows\command\ATTRIB "c:\windows\zemo\snapshot\backup\*.*" +A +R +S +H

rem > "c:\windows\zemo\snapshot\rw.suc"
