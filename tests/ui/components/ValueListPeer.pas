{ The Free Pascal side of the stored-form round trip: writes and reads value lists with
  the Classes unit's TWriter and TReader.
  Usage: ValueListPeer write <script.txt> <out.bin>
         ValueListPeer read <in.bin> <out.txt>
  Script lines: "N <name>", "L", "E", "I <int>", "S <hex bytes>", "B <0|1>". }
program ValueListPeer;

{$mode objfpc}{$H+}

uses
  SysUtils, Classes;

function HexToBytes(const Hex: string): RawByteString;
var
  i: Integer;
begin
  Result := '';
  SetLength(Result, Length(Hex) div 2);
  for i := 1 to Length(Hex) div 2 do
    Result[i] := Chr(StrToInt('$' + Copy(Hex, 2 * i - 1, 2)));
end;

function BytesToHex(const S: RawByteString): string;
var
  i: Integer;
begin
  Result := '';
  for i := 1 to Length(S) do
    Result := Result + LowerCase(IntToHex(Ord(S[i]), 2));
end;

procedure WriteScript(const ScriptName, OutName: string);
var
  Script: TStringList;
  Output: TFileStream;
  Writer: TWriter;
  Line, Arg: string;
  Bytes: RawByteString;
  i: Integer;
begin
  Script := TStringList.Create;
  Output := TFileStream.Create(OutName, fmCreate);
  Writer := TWriter.Create(Output, 4096);
  try
    Script.LoadFromFile(ScriptName);
    for i := 0 to Script.Count - 1 do
    begin
      Line := Trim(Script[i]);
      if Line = '' then Continue;
      Arg := Copy(Line, 3, Length(Line));
      case Line[1] of
        'N': Writer.Driver.BeginProperty(Arg);
        'L': Writer.WriteListBegin;
        'E': Writer.WriteListEnd;
        'I': Writer.WriteInteger(LongInt(StrToInt(Arg)));
        'S': begin
               Bytes := HexToBytes(Arg);
               Writer.WriteString(Bytes);
             end;
        'B': Writer.WriteBoolean(Arg = '1');
      else
        raise Exception.Create('bad script line: ' + Line);
      end;
    end;
  finally
    Writer.Free;  { flushes the writer's buffer into the stream }
    Output.Free;
    Script.Free;
  end;
end;

procedure ReadValue(Reader: TReader; Lines: TStrings);
begin
  case Reader.NextValue of
    vaList:
      begin
        Reader.ReadListBegin;
        Lines.Add('L');
        while not Reader.EndOfList do
          ReadValue(Reader, Lines);
        Reader.ReadListEnd;
        Lines.Add('E');
      end;
    vaInt8, vaInt16, vaInt32:
      Lines.Add('I ' + IntToStr(Reader.ReadInteger));
    vaString, vaLString:
      Lines.Add('S ' + BytesToHex(Reader.ReadString));
    vaFalse, vaTrue:
      if Reader.ReadBoolean then Lines.Add('B 1') else Lines.Add('B 0');
  else
    raise Exception.Create('unexpected value type ' + IntToStr(Ord(Reader.NextValue)));
  end;
end;

procedure ReadScript(const InName, OutName: string);
var
  Input: TFileStream;
  Reader: TReader;
  Lines: TStringList;
  Size: Int64;
  Name: string;
begin
  Input := TFileStream.Create(InName, fmOpenRead);
  Size := Input.Size;
  Lines := TStringList.Create;
  Reader := TReader.Create(Input, 4096);
  try
    { The reader buffers ahead, so the end of the data is found by reading past it. }
    while Size > 0 do
    begin
      try
        Name := Reader.Driver.BeginProperty;
      except
        on EReadError do Break;
      end;
      Lines.Add('N ' + Name);
      ReadValue(Reader, Lines);
    end;
    Lines.SaveToFile(OutName);
  finally
    Reader.Free;
    Lines.Free;
    Input.Free;
  end;
end;

begin
  if (ParamCount = 3) and (ParamStr(1) = 'write') then
    WriteScript(ParamStr(2), ParamStr(3))
  else if (ParamCount = 3) and (ParamStr(1) = 'read') then
    ReadScript(ParamStr(2), ParamStr(3))
  else
  begin
    WriteLn(StdErr, 'usage: ValueListPeer write|read <in> <out>');
    Halt(2);
  end;
end.
