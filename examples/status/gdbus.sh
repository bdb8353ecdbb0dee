gdbus call --session --dest app.velmora.Velmora --object-path /app/velmora/Velmora \
    --method org.freedesktop.DBus.Properties.Get app.velmora.Velmora.Status PublicIP
