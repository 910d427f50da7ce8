# talvinor_desktop_entry(FILE PROGRAM ICON): writes the desktop launcher that
# starts PROGRAM with one file to play and shows ICON (a theme icon name or an
# absolute path). Used for the bundle's launcher at build time and for the
# installed one at install time, so each points at its own program.
function(talvinor_desktop_entry file program icon)
  # Exec quotes the path as the desktop entry format asks: '"', '`', '$' and
  # '\' escaped inside the quotes, then every '\' doubled once more for the
  # string value, and '%' doubled.
  set(exec "${program}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "%" "%%" exec "${exec}")
  file(WRITE "${file}" "[Desktop Entry]
Type=Application
Version=1.0
Name=Talvinor
GenericName=Voice Recorder
GenericName[ja]=ボイスレコーダ
Comment=Record from the sound card and play WAV, Ogg Vorbis and Ogg Speex files
Comment[ja]=録音と、WAV・Ogg Vorbis・Ogg Speex ファイルの再生
Icon=${icon}
Exec=\"${exec}\" %f
Terminal=false
Categories=AudioVideo;Audio;Recorder;Player;
MimeType=audio/x-wav;audio/wav;audio/ogg;audio/x-vorbis+ogg;audio/x-speex;audio/x-speex+ogg;
StartupNotify=true
")
endfunction()
