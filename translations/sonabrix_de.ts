<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Accessibility</name>
    <message>
        <source>Sonabrix icon</source>
        <translation>Sonabrix-Symbol</translation>
    </message>
</context>
<context>
    <name>AnalyzingStageView</name>
    <message>
        <source>Analyzing recording…</source>
        <translation>Aufnahme wird analysiert …</translation>
    </message>
    <message>
        <source>Working</source>
        <translation>Wird verarbeitet</translation>
    </message>
</context>
<context>
    <name>AppFlow</name>
    <message>
        <source>Couldn&apos;t read the recording back from %1.</source>
        <translation>Die Aufnahme konnte nicht aus %1 gelesen werden.</translation>
    </message>
    <message>
        <source>Recording %1</source>
        <translation>Aufnahme %1</translation>
    </message>
    <message>
        <source>The kept sound couldn&apos;t be saved.</source>
        <translation>Der behaltene Ton konnte nicht gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>Appcast</name>
    <message>
        <source>The update feed isn&apos;t valid XML: %1.</source>
        <translation>Der Update-Feed ist kein gültiges XML: %1.</translation>
    </message>
    <message>
        <source>The update feed isn&apos;t an RSS feed.</source>
        <translation>Der Update-Feed ist kein RSS-Feed.</translation>
    </message>
</context>
<context>
    <name>AudioExporter</name>
    <message>
        <source>Couldn&apos;t set up the export.</source>
        <translation>Der Export konnte nicht vorbereitet werden.</translation>
    </message>
    <message>
        <source>The selection holds no audio.</source>
        <translation>Die Auswahl enthält keinen Ton.</translation>
    </message>
    <message>
        <source>“%1” doesn&apos;t end in a format Sonabrix can save. Choose a name ending in .m4a, .mp3, .opus, .flac or .wav.</source>
        <translation>Die Endung von „%1“ passt zu keinem Format, das Sonabrix speichern kann. Wählen Sie einen Namen, der auf .m4a, .mp3, .opus, .flac oder .wav endet.</translation>
    </message>
    <message>
        <source>Audio recorded at %1 Hz can&apos;t be converted to the %2 Hz this format needs. Save it as FLAC or WAV instead.</source>
        <translation>Mit %1 Hz aufgenommener Ton kann nicht in die %2 Hz umgewandelt werden, die dieses Format benötigt. Speichern Sie ihn stattdessen als FLAC oder WAV.</translation>
    </message>
    <message>
        <source>The recording changed while it was being saved, so it wasn&apos;t saved.</source>
        <translation>Die Aufnahme hat sich während des Speicherns geändert und wurde daher nicht gespeichert.</translation>
    </message>
    <message>
        <source>You don&apos;t have permission to replace “%1”.</source>
        <translation>Sie haben keine Berechtigung, „%1“ zu ersetzen.</translation>
    </message>
</context>
<context>
    <name>AudioFilePlayer</name>
    <message>
        <source>The sound server can&apos;t play this file&apos;s format.</source>
        <translation>Der Soundserver kann das Format dieser Datei nicht abspielen.</translation>
    </message>
    <message>
        <source>Selection playback</source>
        <translation>Wiedergabe der Auswahl</translation>
    </message>
    <message>
        <source>The recording changed while it was open.</source>
        <translation>Die Aufnahme hat sich verändert, während sie geöffnet war.</translation>
    </message>
</context>
<context>
    <name>ContentView</name>
    <message>
        <source>Couldn&apos;t record</source>
        <translation>Aufnahme nicht möglich</translation>
    </message>
    <message>
        <source>&amp;Save Trimmed Audio…</source>
        <translation>Zugeschnittenen Ton &amp;speichern …</translation>
    </message>
    <message>
        <source>&amp;New Recording</source>
        <translation>&amp;Neue Aufnahme</translation>
    </message>
    <message>
        <source>S&amp;top Recording</source>
        <translation>Aufnahme s&amp;toppen</translation>
    </message>
    <message>
        <source>&amp;Record System Audio</source>
        <translation>Systemton &amp;aufnehmen</translation>
    </message>
    <message>
        <source>Sonabrix quit while recording. The recording up to then was kept.</source>
        <translation>Sonabrix wurde während einer Aufnahme beendet. Die Aufnahme bis dahin ist erhalten geblieben.</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>Sonabrix quit during %1 recordings. Each was kept up to then and is marked “Interrupted” in the list of recordings.</source>
        <translation>Sonabrix wurde während %1 Aufnahmen beendet. Jede ist bis dahin erhalten geblieben und in der Liste der Aufnahmen als „Unterbrochen“ markiert.</translation>
    </message>
    <message>
        <source>Open the Newest</source>
        <translation>Neueste öffnen</translation>
    </message>
    <message>
        <source>The recording is still being opened; try again in a moment.</source>
        <translation>Die Aufnahme wird noch geöffnet; bitte gleich noch einmal versuchen.</translation>
    </message>
    <message>
        <source>Couldn&apos;t play the selection</source>
        <translation>Auswahl kann nicht abgespielt werden</translation>
    </message>
    <message>
        <source>The sound server didn&apos;t take the sound. Check that sound works on your computer, then press Play again.

The reason given: %1</source>
        <translation>Der Soundserver hat den Ton nicht angenommen. Prüfen Sie, ob der Ton am Computer funktioniert, und drücken Sie dann erneut auf Abspielen.

Angegebener Grund: %1</translation>
    </message>
    <message>
        <source>&amp;Auto-Trim Silence</source>
        <translation>Stille automatisch entfe&amp;rnen</translation>
    </message>
    <message>
        <source>Rena&amp;me Recording…</source>
        <translation>Aufnahme &amp;umbenennen …</translation>
    </message>
    <message>
        <source>Show in &amp;Folder</source>
        <translation>Im &amp;Ordner anzeigen</translation>
    </message>
    <message>
        <source>Move to Tras&amp;h…</source>
        <translation>In den Papier&amp;korb verschieben …</translation>
    </message>
    <message>
        <source>Res&amp;ume Recording</source>
        <translation>Aufnahme &amp;fortsetzen</translation>
    </message>
    <message>
        <source>&amp;Pause Recording</source>
        <translation>Aufnahme &amp;pausieren</translation>
    </message>
    <message>
        <source>Stop P&amp;layback</source>
        <translation>Wiedergabe stopp&amp;en</translation>
    </message>
    <message>
        <source>P&amp;lay Selection</source>
        <translation>Auswahl abspie&amp;len</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Couldn&apos;t save the kept sound</source>
        <translation>Behaltener Ton konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Saved the last %1 as a new recording.</source>
        <translation>Die letzten %1 als neue Aufnahme gespeichert.</translation>
    </message>
    <message>
        <source>Saved the last %1 to your recordings.</source>
        <translation>Die letzten %1 bei Ihren Aufnahmen gespeichert.</translation>
    </message>
    <message>
        <source>Saved in part</source>
        <translation>Nur teilweise gespeichert</translation>
    </message>
    <message>
        <source>&amp;Open Recording</source>
        <translation>Aufnahme &amp;öffnen</translation>
    </message>
</context>
<context>
    <name>ExportFailure</name>
    <message>
        <source>The audio couldn&apos;t be saved.</source>
        <translation>Der Ton konnte nicht gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>ExportFormat</name>
    <message>
        <source>MPEG-4 audio</source>
        <translation>MPEG-4-Audio</translation>
    </message>
    <message>
        <source>MP3 audio</source>
        <translation>MP3-Audio</translation>
    </message>
    <message>
        <source>Ogg Opus audio</source>
        <translation>Ogg-Opus-Audio</translation>
    </message>
    <message>
        <source>FLAC audio (lossless)</source>
        <translation>FLAC-Audio (verlustfrei)</translation>
    </message>
    <message>
        <source>WAV audio (lossless)</source>
        <translation>WAV-Audio (verlustfrei)</translation>
    </message>
</context>
<context>
    <name>Failure</name>
    <message>
        <source>The reason given: %1</source>
        <translation>Angegebener Grund: %1</translation>
    </message>
</context>
<context>
    <name>FileManager</name>
    <message>
        <source>xdg-open isn&apos;t installed</source>
        <translation>xdg-open ist nicht installiert</translation>
    </message>
    <message>
        <source>xdg-open found no program for folders (exit status %1)</source>
        <translation>xdg-open hat kein Programm für Ordner gefunden (Exit-Status %1)</translation>
    </message>
    <message>
        <source>Couldn&apos;t show the file</source>
        <translation>Datei kann nicht angezeigt werden</translation>
    </message>
    <message>
        <source>No file manager opened to show “%1”. You find it in the folder %2.

The reason given: %3.</source>
        <translation>Es hat sich kein Dateimanager geöffnet, um „%1“ anzuzeigen. Sie finden die Datei im Ordner %2.

Angegebener Grund: %3.</translation>
    </message>
</context>
<context>
    <name>IdleStageView</name>
    <message>
        <source>Record system audio</source>
        <translation>Systemton aufnehmen</translation>
    </message>
    <message>
        <source>Captures whatever&apos;s playing on your computer.</source>
        <translation>Nimmt auf, was auf Ihrem Computer gerade spielt.</translation>
    </message>
    <message>
        <source>Record System Audio</source>
        <translation>Systemton aufnehmen</translation>
    </message>
    <message>
        <source>Record whatever your computer plays (%1)</source>
        <translation>Aufnehmen, was Ihr Computer abspielt (%1)</translation>
    </message>
    <message>
        <source>Sound waveform</source>
        <translation>Audio-Wellenform</translation>
    </message>
    <message>
        <source>Include microphone</source>
        <translation>Mikrofon einbeziehen</translation>
    </message>
    <message>
        <source>Record your microphone too, mixed with the computer&apos;s sound</source>
        <translation>Auch Ihr Mikrofon aufnehmen, gemischt mit dem Ton des Computers</translation>
    </message>
    <message>
        <source>Microphone: “%1”</source>
        <translation>Mikrofon: „%1“</translation>
    </message>
    <message>
        <source>Record from</source>
        <translation>Aufnehmen von</translation>
    </message>
    <message>
        <source>Record the whole computer, or one program alone</source>
        <translation>Den ganzen Computer aufnehmen oder nur ein Programm</translation>
    </message>
    <message>
        <source>Whole computer</source>
        <translation>Ganzer Computer</translation>
    </message>
    <message>
        <source>%1 (not playing)</source>
        <translation>%1 (spielt nicht)</translation>
    </message>
    <message>
        <source>Captures only what “%1” plays.</source>
        <translation>Nimmt nur auf, was „%1“ abspielt.</translation>
    </message>
    <message>
        <source>Keep the last</source>
        <translation>Letzte Minuten behalten:</translation>
    </message>
    <message>
        <source>Keep the last minutes of the computer&apos;s sound in memory, to save them when something worth keeping has just played</source>
        <translation>Die letzten Minuten des Computertons im Speicher behalten, um sie zu sichern, wenn gerade etwas Hörenswertes lief</translation>
    </message>
    <message>
        <source>How long to keep</source>
        <translation>Wie lange behalten</translation>
    </message>
    <message>
        <source>Save what was kept as a new recording (%1)</source>
        <translation>Das Behaltene als neue Aufnahme speichern (%1)</translation>
    </message>
    <message>
        <source>Keeping the last minute of what “%1” plays in memory.</source>
        <translation>Die letzte Minute dessen, was „%1“ abspielt, bleibt im Speicher.</translation>
    </message>
    <message>
        <source>Keeping the last %1 minutes of what “%2” plays in memory.</source>
        <translation>Die letzten %1 Minuten dessen, was „%2“ abspielt, bleiben im Speicher.</translation>
    </message>
    <message>
        <source>Keeping the last minute of sound in memory.</source>
        <translation>Die letzte Minute Ton bleibt im Speicher.</translation>
    </message>
    <message>
        <source>Keeping the last %1 minutes of sound in memory.</source>
        <translation>Die letzten %1 Minuten Ton bleiben im Speicher.</translation>
    </message>
</context>
<context>
    <name>LaunchOptions</name>
    <message>
        <source>Shows this help and exits.</source>
        <translation>Zeigt diese Hilfe und beendet sich.</translation>
    </message>
    <message>
        <source>Shows the version and exits.</source>
        <translation>Zeigt die Version und beendet sich.</translation>
    </message>
    <message>
        <source>Logs what the app does, for support questions.</source>
        <translation>Protokolliert, was die App tut, für Support-Anfragen.</translation>
    </message>
    <message>
        <source>Unexpected argument: %1</source>
        <translation>Unerwartetes Argument: %1</translation>
    </message>
    <message>
        <source>Records whatever your computer is playing, trims it and saves it as an M4A, MP3, Opus, FLAC or WAV file. A second launch hands its options to the window already open.</source>
        <translation>Nimmt auf, was Ihr Computer abspielt, schneidet es zu und speichert es als M4A-, MP3-, Opus-, FLAC- oder WAV-Datei. Ein zweiter Start gibt seine Optionen an das bereits offene Fenster weiter.</translation>
    </message>
    <message>
        <source>Starts a recording (from the editor too, which keeps the one open in the list), or stops the running recording.</source>
        <translation>Startet eine Aufnahme (auch aus dem Editor, dessen Aufnahme in der Liste bleibt) oder stoppt die laufende Aufnahme.</translation>
    </message>
    <message>
        <source>With --toggle-recording: records only the sound of the program whose name or binary is NAME, ignoring case, rather than what the start screen has chosen. A program that isn&apos;t playing yet is waited for.</source>
        <translation>Mit --toggle-recording: nimmt nur den Ton des Programms auf, dessen Name oder Programmdatei NAME ist (ohne Beachtung der Groß- und Kleinschreibung), statt der Auswahl auf dem Startbildschirm. Auf ein Programm, das noch nicht spielt, wird gewartet.</translation>
    </message>
    <message>
        <source>NAME</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>--application goes with --toggle-recording.</source>
        <translation>--application gehört zu --toggle-recording.</translation>
    </message>
    <message>
        <source>--application needs the name of a program.</source>
        <translation>--application braucht den Namen eines Programms.</translation>
    </message>
    <message>
        <source>Keeps the last DURATION of the computer&apos;s sound in memory, ready to be saved: 1m, 5m, 15m or 30m. &quot;off&quot; stops keeping it and drops what was kept. Remembered for the next launches.</source>
        <translation>Behält die letzte DAUER des Computertons im Speicher, bereit zum Speichern: 1m, 5m, 15m oder 30m. „off“ hört damit auf und verwirft das Behaltene. Gilt auch für die nächsten Starts.</translation>
    </message>
    <message>
        <source>DURATION</source>
        <translation>DAUER</translation>
    </message>
    <message>
        <source>Saves what was kept as a new recording, or only its last DURATION when one follows (90s, 5m, 1m30s), and opens it. For a desktop shortcut.</source>
        <translation>Speichert das Behaltene als neue Aufnahme, oder nur dessen letzte DAUER, wenn eine folgt (90s, 5m, 1m30s), und öffnet sie. Für ein Tastenkürzel der Arbeitsumgebung.</translation>
    </message>
    <message>
        <source>With --save-replay: how much to save.</source>
        <translation>Mit --save-replay: wie viel gespeichert wird.</translation>
    </message>
    <message>
        <source>--replay takes 1m, 5m, 15m, 30m or off, not “%1”.</source>
        <translation>--replay nimmt 1m, 5m, 15m, 30m oder off, nicht „%1“.</translation>
    </message>
    <message>
        <source>--save-replay takes a length such as 90s, 5m or 1m30s, not “%1”.</source>
        <translation>--save-replay nimmt eine Länge wie 90s, 5m oder 1m30s, nicht „%1“.</translation>
    </message>
</context>
<context>
    <name>LevelMeter</name>
    <message>
        <source>Level</source>
        <translation>Pegel</translation>
    </message>
    <message>
        <source>%1 dB</source>
        <translation>%1 dB</translation>
    </message>
</context>
<context>
    <name>LiveWaveformView</name>
    <message>
        <source>Live waveform</source>
        <translation>Live-Wellenform</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>About Sonabrix</source>
        <translation>Über Sonabrix</translation>
    </message>
    <message>
        <source>Quit Sonabrix</source>
        <translation>Sonabrix beenden</translation>
    </message>
    <message>
        <source>A recording is running</source>
        <translation>Eine Aufnahme läuft</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Keep Recording</source>
        <translation>Weiter aufnehmen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Keyboard Shortcuts</source>
        <translation>&amp;Tastenkürzel</translation>
    </message>
    <message>
        <source>&amp;About Sonabrix</source>
        <translation>Über &amp;Sonabrix</translation>
    </message>
    <message>
        <source>Check for &amp;Updates…</source>
        <translation>Nach &amp;Updates suchen …</translation>
    </message>
    <message>
        <source>Start or stop recording</source>
        <translation>Aufnahme starten oder stoppen</translation>
    </message>
    <message>
        <source>Save the trimmed audio</source>
        <translation>Zugeschnittenen Ton speichern</translation>
    </message>
    <message>
        <source>Back to the start</source>
        <translation>Zurück zum Start</translation>
    </message>
    <message>
        <source>Play or stop the selection</source>
        <translation>Auswahl abspielen oder stoppen</translation>
    </message>
    <message>
        <source>Next control</source>
        <translation>Nächstes Bedienelement</translation>
    </message>
    <message>
        <source>Open the menus</source>
        <translation>Menüs öffnen</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufnehmen</translation>
    </message>
    <message>
        <source>Recording — Sonabrix</source>
        <translation>Aufnahme läuft – Sonabrix</translation>
    </message>
    <message>
        <source>Recording started</source>
        <translation>Aufnahme gestartet</translation>
    </message>
    <message>
        <source>Recording stopped</source>
        <translation>Aufnahme gestoppt</translation>
    </message>
    <message>
        <source>Trimmed audio saved</source>
        <translation>Zugeschnittener Ton gespeichert</translation>
    </message>
    <message>
        <source>If you quit now, the recording ends there. It is kept with your recordings, to trim and save the next time.</source>
        <translation>Wenn Sie jetzt beenden, endet die Aufnahme an dieser Stelle. Sie bleibt bei Ihren Aufnahmen erhalten, damit Sie sie beim nächsten Mal zuschneiden und speichern können.</translation>
    </message>
    <message>
        <source>A save is in progress.</source>
        <translation>Ein Speichervorgang läuft.</translation>
    </message>
    <message>
        <source>Sonabrix quits when it has finished. If you cancel the save, the file you chose stays as it was.</source>
        <translation>Sonabrix wird beendet, sobald er abgeschlossen ist. Wenn Sie das Speichern abbrechen, bleibt die gewählte Datei unverändert.</translation>
    </message>
    <message>
        <source>Wait</source>
        <translation>Warten</translation>
    </message>
    <message>
        <source>Cancel Save</source>
        <translation>Speichern abbrechen</translation>
    </message>
    <message>
        <source>%1 or %2</source>
        <translation>%1 oder %2</translation>
    </message>
    <message>
        <source>Pause or resume the recording</source>
        <translation>Aufnahme pausieren oder fortsetzen</translation>
    </message>
    <message>
        <source>Trimming</source>
        <translation>Zuschneiden</translation>
    </message>
    <message>
        <source>Trim the silence at both ends</source>
        <translation>Stille an beiden Enden entfernen</translation>
    </message>
    <message>
        <source>Trim handle: a tenth of a second earlier or later</source>
        <translation>Griff: eine Zehntelsekunde früher oder später</translation>
    </message>
    <message>
        <source>Trim handle: a second earlier or later</source>
        <translation>Griff: eine Sekunde früher oder später</translation>
    </message>
    <message>
        <source>Trim handle: five seconds earlier or later</source>
        <translation>Griff: fünf Sekunden früher oder später</translation>
    </message>
    <message>
        <source>Trim handle: to the start or the end</source>
        <translation>Griff: an den Anfang oder das Ende</translation>
    </message>
    <message>
        <source>Zoom in or out</source>
        <translation>Vergrößern oder verkleinern</translation>
    </message>
    <message>
        <source>Show the whole recording</source>
        <translation>Ganze Aufnahme zeigen</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>Aufnahmen</translation>
    </message>
    <message>
        <source>Open the selected recording</source>
        <translation>Gewählte Aufnahme öffnen</translation>
    </message>
    <message>
        <source>Rename the selected recording</source>
        <translation>Gewählte Aufnahme umbenennen</translation>
    </message>
    <message>
        <source>Move the selected recording to the trash</source>
        <translation>Gewählte Aufnahme in den Papierkorb</translation>
    </message>
    <message>
        <source>Everywhere</source>
        <translation>Überall</translation>
    </message>
    <message>
        <source>Press the focused button</source>
        <translation>Fokussierte Taste drücken</translation>
    </message>
    <message>
        <source>Show these keyboard shortcuts</source>
        <translation>Diese Tastenkürzel zeigen</translation>
    </message>
    <message>
        <source>Paused %1</source>
        <translation>Pausiert %1</translation>
    </message>
    <message>
        <source>Recording %1</source>
        <translation>Aufnahme %1</translation>
    </message>
    <message>
        <source>Paused — Sonabrix</source>
        <translation>Pausiert – Sonabrix</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Sonabrix %1&lt;/h3&gt;&lt;p&gt;Record whatever your computer is playing, trim it, and save it as an M4A, MP3, Opus, FLAC or WAV file.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Sonabrix %1&lt;/h3&gt;&lt;p&gt;Nehmen Sie auf, was Ihr Computer abspielt, schneiden Sie es zu und speichern Sie es als M4A-, MP3-, Opus-, FLAC- oder WAV-Datei.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&amp;Keep the Last</source>
        <translation>Letzte Minuten be&amp;halten</translation>
    </message>
    <message>
        <source>Save the last minutes kept as a new recording</source>
        <translation>Die behaltenen letzten Minuten als neue Aufnahme speichern</translation>
    </message>
    <message>
        <source>Sonabrix — %1</source>
        <translation>Sonabrix – %1</translation>
    </message>
    <message>
        <source>Sonabrix keeps running here. Save what it kept, or open its window, from this icon.</source>
        <translation>Sonabrix läuft hier weiter. Über dieses Symbol speichern Sie das Behaltene oder öffnen das Fenster.</translation>
    </message>
    <message>
        <source>Keep the last minute after closing?</source>
        <translation>Die letzte Minute nach dem Schließen weiter behalten?</translation>
    </message>
    <message>
        <source>Keep the last %1 minutes after closing?</source>
        <translation>Die letzten %1 Minuten nach dem Schließen weiter behalten?</translation>
    </message>
    <message>
        <source>Close Sonabrix</source>
        <translation>Sonabrix schließen</translation>
    </message>
    <message>
        <source>Keep Running</source>
        <translation>Weiterlaufen lassen</translation>
    </message>
    <message>
        <source>Stop and Quit</source>
        <translation>Aufhören und beenden</translation>
    </message>
    <message>
        <source>Saved the last %1 as a new recording</source>
        <translation>Die letzten %1 als neue Aufnahme gespeichert</translation>
    </message>
    <message>
        <source>Saved the last %1 to your recordings</source>
        <translation>Die letzten %1 bei Ihren Aufnahmen gespeichert</translation>
    </message>
    <message>
        <source>Click to open Sonabrix.</source>
        <translation>Klicken, um Sonabrix zu öffnen.</translation>
    </message>
    <message>
        <source>Sonabrix can go on keeping the computer&apos;s sound without its window. To come back to it, start Sonabrix again, from your applications or by running “sonabrix”.

If you stop, what was kept is dropped and Sonabrix quits.</source>
        <translation>Sonabrix kann den Computerton auch ohne Fenster weiter behalten. Um zurückzukehren, starten Sie Sonabrix erneut, aus Ihren Anwendungen oder mit dem Befehl „sonabrix“.

Wenn Sie aufhören, wird das Behaltene verworfen und Sonabrix beendet.</translation>
    </message>
</context>
<context>
    <name>MessageAlert</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>PulseConnection</name>
    <message>
        <source>Couldn&apos;t create the sound-server event loop.</source>
        <translation>Die Ereignisschleife für den Soundserver konnte nicht erstellt werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t create a sound-server context.</source>
        <translation>Es konnte kein Soundserver-Kontext erstellt werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t start the sound-server event loop.</source>
        <translation>Die Ereignisschleife für den Soundserver konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The sound server didn&apos;t answer.</source>
        <translation>Der Soundserver hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>The sound server has no default output.</source>
        <translation>Der Soundserver hat keine Standardausgabe.</translation>
    </message>
</context>
<context>
    <name>RecordedStageView</name>
    <message>
        <source>New Recording</source>
        <translation>Neue Aufnahme</translation>
    </message>
    <message>
        <source>Trim your recording</source>
        <translation>Aufnahme zuschneiden</translation>
    </message>
    <message>
        <source>Drag the handles, or auto-trim silence from the start and end.</source>
        <translation>Ziehen Sie die Griffe oder schneiden Sie die Stille am Anfang und Ende automatisch ab.</translation>
    </message>
    <message>
        <source>Back to the start (%1)</source>
        <translation>Zurück zum Start (%1)</translation>
    </message>
    <message>
        <source>Save Trimmed Audio…</source>
        <translation>Zugeschnittenen Ton speichern …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner anzeigen</translation>
    </message>
    <message>
        <source>Saving… %p%</source>
        <translation>Wird gespeichert … %p%</translation>
    </message>
    <message>
        <source>Save progress</source>
        <translation>Speicherfortschritt</translation>
    </message>
    <message>
        <source>Cancel Save</source>
        <translation>Speichern abbrechen</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Gespeichert unter %1</translation>
    </message>
    <message>
        <source>This recording is silent from start to end: nothing in it was loud enough to hear.</source>
        <translation>Diese Aufnahme ist von Anfang bis Ende still: Nichts darin war laut genug, um es zu hören.</translation>
    </message>
    <message>
        <source>Auto-Trim found no sound: the whole recording is silent, so the selection stays as it was.</source>
        <translation>Das automatische Zuschneiden hat keinen Ton gefunden: Die ganze Aufnahme ist still, die Auswahl bleibt, wie sie war.</translation>
    </message>
    <message>
        <source>Save the selection as an audio file (%1)</source>
        <translation>Die Auswahl als Audiodatei speichern (%1)</translation>
    </message>
</context>
<context>
    <name>RecordingFile</name>
    <message>
        <source>The captured audio has no usable format.</source>
        <translation>Der aufgenommene Ton hat kein verwendbares Format.</translation>
    </message>
    <message>
        <source>Only %1 of %2 frames could be written.</source>
        <translation>Nur %1 von %2 Frames konnten geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>RecordingLibrary</name>
    <message>
        <source>the trash “%1” isn&apos;t a folder.</source>
        <translation>der Papierkorb „%1“ ist kein Ordner.</translation>
    </message>
    <message>
        <source>the trash couldn&apos;t take it.</source>
        <translation>der Papierkorb konnte sie nicht aufnehmen.</translation>
    </message>
</context>
<context>
    <name>RecordingListModel</name>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Can&apos;t be read</source>
        <translation>Nicht lesbar</translation>
    </message>
    <message>
        <source>Interrupted</source>
        <translation>Unterbrochen</translation>
    </message>
</context>
<context>
    <name>RecordingListView</name>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Rename…</source>
        <translation>Umbenennen …</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner anzeigen</translation>
    </message>
    <message>
        <source>Move to Trash…</source>
        <translation>In den Papierkorb verschieben …</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>Aufnahmen</translation>
    </message>
    <message>
        <source>%1 used</source>
        <translation>%1 belegt</translation>
    </message>
    <message>
        <source>Rename Recording</source>
        <translation>Aufnahme umbenennen</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Couldn&apos;t rename</source>
        <translation>Umbenennen nicht möglich</translation>
    </message>
    <message>
        <source>The new name couldn&apos;t be stored beside the recording.</source>
        <translation>Der neue Name konnte nicht neben der Aufnahme gespeichert werden.</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Move “%1” to the trash?</source>
        <translation>„%1“ in den Papierkorb verschieben?</translation>
    </message>
    <message>
        <source>You can restore it from the trash.</source>
        <translation>Sie können sie aus dem Papierkorb wiederherstellen.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Couldn&apos;t move to trash</source>
        <translation>Verschieben in den Papierkorb nicht möglich</translation>
    </message>
    <message>
        <source>Move to Trash…</source>
        <comment>button beside the list</comment>
        <translation>In den Papierkorb werfen …</translation>
    </message>
    <message>
        <source>“%1” stays where it is</source>
        <translation>„%1“ wurde nicht verschoben</translation>
    </message>
</context>
<context>
    <name>RecordingReader</name>
    <message>
        <source>Only a file on disk can be read as a recording.</source>
        <translation>Nur eine Datei auf einem Datenträger kann als Aufnahme gelesen werden.</translation>
    </message>
    <message>
        <source>The recording&apos;s format isn&apos;t usable.</source>
        <translation>Das Format der Aufnahme ist nicht verwendbar.</translation>
    </message>
</context>
<context>
    <name>RecordingStageView</name>
    <message>
        <source>Stop Recording</source>
        <translation>Aufnahme stoppen</translation>
    </message>
    <message>
        <source>Stop and open the recording (%1)</source>
        <translation>Stoppen und die Aufnahme öffnen (%1)</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufnahme läuft</translation>
    </message>
    <message>
        <source>Elapsed time %1</source>
        <translation>Verstrichene Zeit %1</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Computer</translation>
    </message>
    <message>
        <source>Microphone</source>
        <translation>Mikrofon</translation>
    </message>
    <message>
        <source>Computer level</source>
        <translation>Pegel des Computers</translation>
    </message>
    <message>
        <source>Microphone level</source>
        <translation>Pegel des Mikrofons</translation>
    </message>
    <message>
        <source>Pause or resume the recording (%1 or Space)</source>
        <translation>Aufnahme anhalten oder fortsetzen (%1 oder Leertaste)</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausieren</translation>
    </message>
    <message>
        <source>Recording “%1”</source>
        <translation>Aufnahme von „%1“</translation>
    </message>
    <message>
        <source>The disk is almost full: there is room for less than 5 minutes more. The recording stops by itself before the disk is full.</source>
        <translation>Der Datenträger ist fast voll: Es ist nur noch Platz für weniger als 5 Minuten. Die Aufnahme endet von selbst, bevor der Datenträger voll ist.</translation>
    </message>
    <message>
        <source>Nothing is playing on “%1” yet.</source>
        <translation>Auf „%1“ wird noch nichts abgespielt.</translation>
    </message>
    <message>
        <source>Recorded output</source>
        <translation>Aufgenommene Ausgabe</translation>
    </message>
    <message>
        <source>Recording notes</source>
        <translation>Hinweise zur Aufnahme</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source>Paused — “%1” is not being recorded</source>
        <translation>Pausiert – „%1“ wird nicht aufgenommen</translation>
    </message>
    <message>
        <source>Nothing has played on “%1” for the last few seconds.</source>
        <translation>Auf „%1“ wurde in den letzten Sekunden nichts abgespielt.</translation>
    </message>
    <message>
        <source>Waiting for %1…</source>
        <translation>Warten auf %1…</translation>
    </message>
</context>
<context>
    <name>RecordingWriter</name>
    <message>
        <source>The audio format changed during the recording.</source>
        <translation>Das Tonformat hat sich während der Aufnahme geändert.</translation>
    </message>
</context>
<context>
    <name>ReplayActions</name>
    <message>
        <source>&amp;Off</source>
        <translation>&amp;Aus</translation>
    </message>
    <message>
        <source>1 Minute</source>
        <translation>1 Minute</translation>
    </message>
    <message>
        <source>%1 Minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>Start Afresh After Sav&amp;ing</source>
        <translation>Nach dem Speichern neu be&amp;ginnen</translation>
    </message>
    <message>
        <source>Drop what was kept once it is saved, so that the next save holds only what plays after this one</source>
        <translation>Das Behaltene nach dem Speichern verwerfen, sodass die nächste Speicherung nur enthält, was danach spielt</translation>
    </message>
    <message>
        <source>Save Last Minute</source>
        <translation>Letzte Minute speichern</translation>
    </message>
    <message>
        <source>Save Last %1 Minutes</source>
        <translation>Letzte %1 Minuten speichern</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 Minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>Keeping the last minute</source>
        <translation>Behält die letzte Minute</translation>
    </message>
    <message>
        <source>Keeping the last %1 minutes</source>
        <translation>Behält die letzten %1 Minuten</translation>
    </message>
    <message>
        <source>Sa&amp;ve Last Minute</source>
        <translation>Letzte Minute spe&amp;ichern</translation>
    </message>
    <message>
        <source>Sa&amp;ve Last %1 Minutes</source>
        <translation>Letzte %1 Minuten spe&amp;ichern</translation>
    </message>
</context>
<context>
    <name>ReplaySaving</name>
    <message>
        <source>Nothing has been kept yet to save.</source>
        <translation>Es wurde noch nichts zum Speichern behalten.</translation>
    </message>
    <message>
        <source>Couldn&apos;t save the kept sound</source>
        <translation>Behaltener Ton konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Only part of the kept sound could be saved</source>
        <translation>Nur ein Teil des behaltenen Tons konnte gespeichert werden</translation>
    </message>
    <message>
        <source>Only part of the kept sound could be saved: a stretch of it couldn&apos;t be read back.</source>
        <translation>Nur ein Teil des behaltenen Tons konnte gespeichert werden: Ein Stück davon konnte nicht zurückgelesen werden.</translation>
    </message>
</context>
<context>
    <name>ReplayTray</name>
    <message>
        <source>&amp;Open Sonabrix</source>
        <translation>Sonabrix ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Stop Keeping Sound</source>
        <translation>Behalten &amp;beenden</translation>
    </message>
</context>
<context>
    <name>SaveDestinationDialog</name>
    <message>
        <source>Save Trimmed Audio</source>
        <translation>Zugeschnittenen Ton speichern</translation>
    </message>
    <message>
        <source>Replace file?</source>
        <translation>Datei ersetzen?</translation>
    </message>
    <message>
        <source>“%1” already exists. Do you want to replace it?</source>
        <translation>„%1“ ist bereits vorhanden. Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Save as %1?</source>
        <translation>Als %1 speichern?</translation>
    </message>
    <message>
        <source>“%1” ends in “.%2”, a kind of audio file Sonabrix doesn&apos;t write. The chosen file type is %3.</source>
        <translation>„%1“ endet auf „.%2“, eine Art Audiodatei, die Sonabrix nicht schreibt. Der gewählte Dateityp ist %3.</translation>
    </message>
    <message>
        <source>Save as “.%1”</source>
        <translation>Als „.%1“ speichern</translation>
    </message>
    <message>
        <source>As recorded</source>
        <translation>Wie aufgenommen</translation>
    </message>
    <message>
        <source>Podcast (−16 LUFS)</source>
        <translation>Podcast (−16 LUFS)</translation>
    </message>
    <message>
        <source>Streaming (−14 LUFS)</source>
        <translation>Streaming (−14 LUFS)</translation>
    </message>
    <message>
        <source>Broadcast (−23 LUFS)</source>
        <translation>Rundfunk (−23 LUFS)</translation>
    </message>
    <message>
        <source>&amp;Fade in and out (10 ms)</source>
        <translation>&amp;Ein- und ausblenden (10 ms)</translation>
    </message>
    <message>
        <source>Where a cut falls on sound, so it doesn&apos;t click; cuts in silence stay as they are.</source>
        <translation>Wo ein Schnitt in Klang fällt, damit er nicht knackt; Schnitte in der Stille bleiben, wie sie sind.</translation>
    </message>
    <message>
        <source>&amp;Loudness:</source>
        <translation>&amp;Lautheit:</translation>
    </message>
    <message>
        <source>Choose Again</source>
        <translation>Neu wählen</translation>
    </message>
</context>
<context>
    <name>SaveFlow</name>
    <message>
        <source>Couldn&apos;t save</source>
        <translation>Speichern nicht möglich</translation>
    </message>
    <message>
        <source>The audio couldn&apos;t be saved.</source>
        <translation>Der Ton konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Saved as recorded</source>
        <translation>In der aufgenommenen Lautstärke gespeichert</translation>
    </message>
    <message>
        <source>The selection is silent or too short to measure its loudness, so it was saved at the level it was recorded.</source>
        <translation>Die Auswahl ist still oder zu kurz, um ihre Lautheit zu messen. Sie wurde deshalb in der Lautstärke gespeichert, in der sie aufgenommen wurde.</translation>
    </message>
</context>
<context>
    <name>SonabrixApp</name>
    <message>
        <source>Sonabrix is already running but doesn&apos;t answer. Close it, or end its process, and try again.</source>
        <translation>Sonabrix läuft bereits, antwortet aber nicht. Schließen Sie es oder beenden Sie seinen Prozess und versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>StageContainer</name>
    <message>
        <source>Previous screen, fading out</source>
        <translation>Vorheriger Bildschirm, wird ausgeblendet</translation>
    </message>
</context>
<context>
    <name>SystemAudioRecorder</name>
    <message>
        <source>Sonabrix couldn&apos;t connect to the sound server to capture system audio. Make sure PulseAudio or PipeWire is running and that Sonabrix may use it, then try again.</source>
        <translation>Sonabrix konnte sich nicht mit dem Soundserver verbinden, um den Systemton aufzunehmen. Stellen Sie sicher, dass PulseAudio oder PipeWire läuft und Sonabrix ihn verwenden darf, und versuchen Sie es dann erneut.</translation>
    </message>
    <message>
        <source>No audio output found to capture audio from.</source>
        <translation>Keine Audioausgabe gefunden, von der aufgenommen werden kann.</translation>
    </message>
    <message>
        <source>No audio was captured — is anything actually playing sound?</source>
        <translation>Es wurde kein Ton aufgenommen – wird überhaupt etwas abgespielt?</translation>
    </message>
    <message>
        <source>The recording was stopped because the disk is almost full. Everything recorded until then has been kept.</source>
        <translation>Die Aufnahme wurde beendet, weil der Datenträger fast voll ist. Alles bis dahin Aufgenommene wurde behalten.</translation>
    </message>
    <message>
        <source>No microphone found.</source>
        <translation>Kein Mikrofon gefunden.</translation>
    </message>
    <message>
        <source>The microphone is no longer available. Recording continues with the computer&apos;s sound only.</source>
        <translation>Das Mikrofon ist nicht mehr verfügbar. Die Aufnahme läuft nur mit dem Ton des Computers weiter.</translation>
    </message>
    <message>
        <source>The recording stopped by itself: the sound server ended it. Check that sound works on your computer, then record again.

The reason given: %1</source>
        <translation>Die Aufnahme hat von selbst aufgehört: Der Soundserver hat sie beendet. Prüfen Sie, ob der Ton am Computer funktioniert, und nehmen Sie dann erneut auf.

Angegebener Grund: %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t create the recording file</source>
        <translation>Die Aufnahmedatei konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Part of the recording couldn&apos;t be saved</source>
        <translation>Ein Teil der Aufnahme konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop capture cleanly</source>
        <translation>Die Aufnahme konnte nicht sauber gestoppt werden</translation>
    </message>
    <message>
        <source>Sonabrix couldn&apos;t get the list of audio outputs from the sound server</source>
        <translation>Sonabrix konnte die Liste der Audioausgaben nicht vom Soundserver erhalten</translation>
    </message>
    <message>
        <source>Sonabrix couldn&apos;t reach the sound server to capture system audio. Make sure PulseAudio or PipeWire is running, then try again.</source>
        <translation>Sonabrix konnte den Soundserver nicht erreichen, um den Systemton aufzunehmen. Stellen Sie sicher, dass PulseAudio oder PipeWire läuft, und versuchen Sie es dann erneut.</translation>
    </message>
    <message>
        <source>Couldn&apos;t ask the sound server for a microphone.</source>
        <translation>Der Soundserver konnte nicht nach einem Mikrofon gefragt werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t start capture</source>
        <translation>Die Aufnahme konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>Sonabrix stopped hearing the computer&apos;s sound (%1). It tries again in a moment.</source>
        <translation>Sonabrix hört den Ton des Computers nicht mehr (%1). Es versucht es gleich erneut.</translation>
    </message>
    <message>
        <source>The kept sound is being saved already.</source>
        <translation>Der behaltene Ton wird bereits gespeichert.</translation>
    </message>
    <message>
        <source>Nothing is kept to save: switch on “Keep the last … minutes” first.</source>
        <translation>Es wird nichts zum Speichern behalten: Schalten Sie zuerst „Letzte Minuten behalten“ ein.</translation>
    </message>
    <message>
        <source>Nothing has been kept yet to save.</source>
        <translation>Es wurde noch nichts zum Speichern behalten.</translation>
    </message>
</context>
<context>
    <name>TrimCard</name>
    <message>
        <source>Trim start</source>
        <translation>Anfang zuschneiden</translation>
    </message>
    <message>
        <source>Trim end</source>
        <translation>Ende zuschneiden</translation>
    </message>
</context>
<context>
    <name>TrimHandle</name>
    <message>
        <source>Left and Right move it by a tenth of a second, with Shift by a second; Page Up and Page Down by five seconds; Home and End as far as it goes</source>
        <translation>Links und Rechts verschieben ihn um eine Zehntelsekunde, mit Umschalt um eine Sekunde; Bild auf und Bild ab um fünf Sekunden; Pos1 und Ende bis zum Anschlag</translation>
    </message>
</context>
<context>
    <name>TrimView</name>
    <message>
        <source>selected</source>
        <translation>ausgewählt</translation>
    </message>
    <message>
        <source>Auto-Trim Silence</source>
        <translation>Stille automatisch entfernen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Play Selection</source>
        <translation>Auswahl abspielen</translation>
    </message>
    <message>
        <source>Waveform position</source>
        <translation>Position in der Wellenform</translation>
    </message>
    <message>
        <source>Waveform of a %1 recording, %2 selected</source>
        <translation>Wellenform einer Aufnahme von %1, %2 ausgewählt</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>The update feed lists no versions.</source>
        <translation>Der Update-Feed nennt keine Versionen.</translation>
    </message>
    <message>
        <source>The update server answered with error %1.</source>
        <translation>Der Update-Server antwortete mit Fehler %1.</translation>
    </message>
    <message>
        <source>The update server answered with error %1 (%2).</source>
        <translation>Der Update-Server antwortete mit Fehler %1 (%2).</translation>
    </message>
    <message>
        <source>The update server didn&apos;t answer in time.</source>
        <translation>Der Update-Server hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>Sonabrix ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Sonabrix %1 is the newest version available.</source>
        <translation>Sonabrix %1 ist die neueste verfügbare Version.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sonabrix %1 is available</source>
        <translation>Sonabrix %1 ist verfügbar</translation>
    </message>
    <message>
        <source>You have version %1. Download the new version to update.</source>
        <translation>Sie haben Version %1. Laden Sie die neue Version herunter, um zu aktualisieren.</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Versionshinweise</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>Couldn&apos;t check for updates</source>
        <translation>Suche nach Updates nicht möglich</translation>
    </message>
    <message>
        <source>The update feed is too large.</source>
        <translation>Der Update-Feed ist zu groß.</translation>
    </message>
    <message>
        <source>The update check was cancelled.</source>
        <translation>Die Suche nach Updates wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The update feed couldn&apos;t be read.</source>
        <translation>Der Update-Feed konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The update server answered with status %1 instead of the feed.</source>
        <translation>Der Update-Server antwortete mit Status %1 statt mit dem Feed.</translation>
    </message>
    <message>
        <source>Sonabrix couldn&apos;t reach the update server. Check that the computer is online, then try again. The reason given: %1.</source>
        <translation>Sonabrix hat den Update-Server nicht erreicht. Prüfen Sie, ob der Computer online ist, und versuchen Sie es dann erneut. Angegebener Grund: %1.</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keiner</translation>
    </message>
</context>
</TS>
