@echo off
SET MARK=parent
CALL C:\TEST\SUB.BAT one "two words" three
ECHO back in %0 with MARK=%MARK%
CALL COMMAND /C "C:\TEST\CHILD.BAT"
IF ERRORLEVEL 4 ECHO child exit code is ERRORLEVEL 4
ECHO after the child MARK=%MARK%
C:\TEST\CHAIN
ECHO never printed
