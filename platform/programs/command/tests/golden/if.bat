@echo off
IF EXIST C:\DATA\*.TXT ECHO a text file exists
IF EXIST "C:\Program Files\Long Folder\Some File.dat" ECHO quoted long path exists
IF EXIST C:\DATA\HIDDEN.SYS ECHO hidden and system files count
IF NOT EXIST C:\DATA\*.BAK ECHO no backup file
IF EXIST C:\DATA ECHO wrong: a folder is no file
IF EXIST C:\DATA\NUL ECHO the folder exists
IF EXIST C:\NOWHERE\NUL ECHO wrong: no such folder
IF "%1"=="" ECHO wrong: an argument was given
IF "%1"=="Yes" ECHO compared with quotes
IF %1==yes ECHO wrong: comparisons keep case
IF NOT %1==yes ECHO case differs
IF EXIST C:\DATA\A.TXT IF NOT EXIST C:\DATA\B.TXT ECHO nested conditions
IF ERRORLEVEL x ECHO wrong
IF EXIST
IF "unterminated==x ECHO wrong
ECHO the batch goes on
