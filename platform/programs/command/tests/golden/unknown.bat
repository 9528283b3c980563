@echo off
FOR %%F IN (*.*) DO ECHO %%F
NOSUCH.EXE /X
ECHO a | MORE
"C:\Unterminated quote\PROGRAM.EXE /X
ECHO ok"
ECHO after the bad lines
C:\TOOLS\NOTES.TXT
SET
SET NOEQUALS
SET MY VAR=with blanks
ECHO [%MY VAR%]
PAUSE
