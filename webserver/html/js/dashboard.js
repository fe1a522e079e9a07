// Polls the program's six page scripts and places the fragments it answers. The fragments come
// escaped from the program; texts this script shows itself go in through textContent only.
"use strict";

const CHANNEL_PERIOD = 1000; // ms, the program's sampling tick
const STATE_PERIOD = 2000; // ms
const TIMEOUT = 4000; // ms; a request older than this counts as lost

const parts = {
    channels: "/ts/channels.cgi",
    user: "/ts/user.cgi",
    datarecording: "/ts/datarecording.cgi",
    dynamicexperiment: "/ts/dynamicexperiment.cgi",
    emailalert: "/ts/emailalert.cgi",
    alarms: "/ts/alarms.cgi",
};

let failures = 0;

async function fetchPart(path, method) {
    const controller = new AbortController();
    const timer = setTimeout(() => controller.abort(), TIMEOUT);
    try {
        const response = await fetch(path, {
            method: method || "GET",
            cache: "no-store",
            signal: controller.signal,
        });
        if (!response.ok)
            throw new Error(path + ": HTTP " + response.status);
        return await response.text();
    } finally {
        clearTimeout(timer);
    }
}

function place(id, html) {
    const element = document.getElementById(id);
    // Unchanged fragments are left alone so that a focused button or a selection survives.
    if (element.dataset.html !== html) {
        element.dataset.html = html;
        element.innerHTML = html;
    }
}

function setLink(up) {
    failures = up ? 0 : failures + 1;
    const dot = document.getElementById("linkdot");
    const text = document.getElementById("linktext");
    const stale = !up && failures >= 2;
    dot.className = "linkdot " + (up ? "up" : stale ? "down" : "");
    text.textContent = up ? "Live" : stale ? "Connection lost, retrying" : "Retrying";
    document.getElementById("channels").classList.toggle("stale", stale);
    if (up)
        document.getElementById("updated").textContent =
            "Updated " + new Date().toLocaleTimeString();
}

async function pollChannels() {
    try {
        const html = await fetchPart(parts.channels);
        place("channels", html.trim() ? html : '<p class="empty">No channels in the current profile.</p>');
        // Device descriptions carry line breaks as markup; a tool tip shows them as lines.
        for (const tile of document.querySelectorAll("#channels .tile[title]"))
            tile.title = tile.title.replace(/<br\s*\/?>/gi, "\n");
        setLink(true);
    } catch (error) {
        setLink(false);
    }
    setTimeout(pollChannels, CHANNEL_PERIOD);
}

async function pollState() {
    await Promise.all(
        ["user", "datarecording", "dynamicexperiment", "emailalert", "alarms"].map(async (id) => {
            try {
                place(id, await fetchPart(parts[id]));
            } catch (error) {
                // The channel poll reports the link; the last state stays shown.
            }
        }));
    setTimeout(pollState, STATE_PERIOD);
}

// The alert fires once; a browser may arm it, never disarm it.
async function armAlert() {
    const button = document.getElementById("eaarm");
    if (button)
        button.disabled = true;
    try {
        place("emailalert", await fetchPart(parts.emailalert, "PUT"));
    } catch (error) {
        if (button)
            button.disabled = false;
        setLink(false);
    }
}

function showStatus(text, description) {
    document.getElementById("detailtitle").textContent = text;
    // Device descriptions carry line breaks as markup; they are shown as plain lines.
    document.getElementById("detailtext").textContent =
        (description || "").replace(/<br\s*\/?>/gi, "\n");
    document.getElementById("detail").hidden = false;
}

function hideStatus() {
    document.getElementById("detail").hidden = true;
}

document.addEventListener("keydown", (event) => {
    if (event.key === "Escape")
        hideStatus();
});

pollChannels();
pollState();
