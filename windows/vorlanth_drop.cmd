@echo off
rem Drop .lang and .txt files onto this script: each .lang is decoded into a .txt, each .txt is
rem encoded into a .lang, beside it. Other files are named and skipped.
setlocal
set "program=%~dp0vorlanth_lang.exe"
if "%~1"=="" (
  echo Drop .lang or .txt files onto this script to convert them.
  goto end
)
:next
if "%~1"=="" goto end
if /i "%~x1"==".lang" (
  echo == %~nx1
  "%program%" d "%~1"
) else if /i "%~x1"==".txt" (
  echo == %~nx1
  "%program%" e "%~1"
) else (
  echo == %~nx1: skipped, not a .lang or .txt file
)
shift
goto next
:end
echo.
pause
