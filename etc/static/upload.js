/* Orvex upload page. Files up to data-chunked-above bytes go as one multipart request to /file;
   larger ones through the chunked protocol of /hugefile, as resumable uploads named by the file's
   name and size ("filename", "filesize" in every call):
   - "status" asks how much of the file the computer holds ({"received": bytes, "next": index});
     anything held is continued from there, otherwise "begin" starts the upload afresh;
   - the chunks follow in order, each only after the answer to the previous one (the computer
     appends them in arrival order), as the request's body with the fields and "index" in the
     query, then "finish" saves the file. The first chunk has
     data-chunk-size bytes; each next one what the link carried in chunkSeconds at the rate of
     the last, in whole multiples of the first, up to maxChunkSize; after a failure the first
     size again;
   - a call that fails is tried again after a growing pause (retryDelays); each try first asks
     "status" again, since a chunk may have arrived even though its answer did not;
   - the upload stays on the computer when the page goes (reload, a phone that sleeps), until the
     receive session ends: picking the same file again continues it. The page remembers its
     unfinished uploads in localStorage to say so; only "cancel" sends "terminate".
   Up to maxParallel files at once. When the queue is empty one "finish" call of /file tells the
   computer that the batch is complete. The key of the receive session travels in a cookie the
   server set with the page; without it every call is refused with 403.
   The page texts come from the template (a JSON block with the id "texts"), so the language
   variants of the template share this script. */
(function () {
    "use strict";

    var body = document.body;
    var chunkSize = parseInt(body.getAttribute("data-chunk-size"), 10) || 8 * 1024 * 1024;
    var chunkedAbove = parseInt(body.getAttribute("data-chunked-above"), 10) || chunkSize;
    // A chunk of about a second: on a fast link fewer answers to wait for, on a slow one little
    // to send again when a chunk breaks off.
    var chunkSeconds = 1;
    var maxChunkSize = 64 * 1024 * 1024;
    var maxParallel = 3;
    // Pauses before the 1st to 5th try again of a failed call: about a minute in all.
    var retryDelays = [2000, 4000, 8000, 16000, 32000];
    var stallMs = 30000;
    var storeKey = "orvex.uploads";
    var T = JSON.parse(document.getElementById("texts").textContent);

    var drop = document.getElementById("drop");
    var picker = document.getElementById("picker");
    var queueList = document.getElementById("queue");
    var summary = document.getElementById("summary");
    var total = document.getElementById("total");
    var resumeBox = document.getElementById("resume");
    var resumeList = document.getElementById("resume-list");

    var queue = [];
    var running = [];
    var batchItems = [];
    var batch = { ok: 0, failed: 0 };

    function format(text) {
        var args = arguments;
        return text.replace(/%(\d)/g, function (m, n) {
            return args[Number(n)] !== undefined ? String(args[Number(n)]) : m;
        });
    }

    // Units of 1000, at most three significant digits: "512 B", "1.5 KB", "123 MB", "4.7 GB".
    function humanSize(bytes) {
        var units = ["B", "KB", "MB", "GB", "TB"];
        if (!(bytes >= 1000))
            return String(Math.max(0, Math.floor(bytes || 0))) + " B";
        var value = bytes;
        var unit = 0;
        var decimals = 0;
        var rounded = value;
        for (;;) {
            value /= 1000;
            unit++;
            decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
            var scale = Math.pow(10, decimals);
            rounded = Math.round(value * scale) / scale;
            if (rounded < 1000 || unit === units.length - 1)
                break;
        }
        return String(Number(rounded.toFixed(decimals))) + " " + units[unit];
    }

    function humanTime(seconds) {
        if (!isFinite(seconds) || seconds < 0)
            return "";
        seconds = Math.round(seconds);
        var m = Math.floor(seconds / 60);
        var s = seconds % 60;
        return m > 0 ? format(T.minutes, m, s) : format(T.seconds, s);
    }

    // Sends one form as a POST to target and hands done the parsed JSON answer, or an error text
    // and whether trying again may help. With a body (a chunk's bytes) the fields go in the query
    // and the body is sent as it is, which the computer writes straight into the file. A request
    // that moves no byte for stallMs (a phone that slept, a network that changed) is given up as a
    // network error.
    function post(target, fields, onProgress, done, body) {
        var form = new FormData();
        var query = [];
        for (var i = 0; i < fields.length; i++) {
            if (body !== undefined)
                query.push(encodeURIComponent(fields[i][0]) + "=" + encodeURIComponent(fields[i][1]));
            else if (fields[i].length === 3)
                form.append(fields[i][0], fields[i][1], fields[i][2]);
            else
                form.append(fields[i][0], fields[i][1]);
        }
        if (body !== undefined)
            target += "?" + query.join("&");
        var xhr = new XMLHttpRequest();
        var stalled = false;
        var watchdog = null;
        function watch() {
            clearTimeout(watchdog);
            watchdog = setTimeout(function () {
                stalled = true;
                xhr.abort();
            }, stallMs);
        }
        xhr.open("POST", target);
        xhr.upload.onprogress = function (e) {
            watch();
            if (onProgress && e.lengthComputable)
                onProgress(e.loaded, e.total);
        };
        // Once all is sent the answer may take its time (a large file copied into place).
        xhr.upload.onload = xhr.onloadend = function () {
            clearTimeout(watchdog);
        };
        xhr.onload = function () {
            if (xhr.status === 413)
                return done(null, T.tooLargeRequest, false);
            if (xhr.status === 403)
                return done(null, T.denied, false);
            if (xhr.status === 503 || xhr.status === 429)
                return done(null, T.busy, true);
            if (xhr.status !== 200)
                return done(null, format(T.httpError, xhr.status), xhr.status >= 500);
            var answer;
            try {
                answer = JSON.parse(xhr.responseText);
            } catch (e) {
                return done(null, T.badAnswer, true);
            }
            if (!answer || typeof answer.ok !== "boolean")
                return done(null, T.badAnswer, true);
            done(answer, null, false);
        };
        xhr.onerror = function () {
            done(null, T.networkError, true);
        };
        xhr.onabort = function () {
            if (stalled)
                done(null, T.networkError, true);
            else
                done(null, null, false);
        };
        if (body !== undefined) {
            xhr.setRequestHeader("Content-Type", "application/octet-stream");
            xhr.send(body);
        } else {
            xhr.send(form);
        }
        watch();
        return xhr;
    }

    // Unfinished chunked uploads, by name and size, as this browser remembers them.
    function recordKey(file) {
        return file.size + "/" + file.name;
    }

    function records() {
        try {
            var value = JSON.parse(localStorage.getItem(storeKey) || "{}");
            return value && typeof value === "object" ? value : {};
        } catch (e) {
            return {};
        }
    }

    function saveRecords(value) {
        try {
            localStorage.setItem(storeKey, JSON.stringify(value));
        } catch (e) {
            // Private browsing or a full store: uploads still resume, the page only forgets.
        }
    }

    function remember(file, sent) {
        var all = records();
        all[recordKey(file)] = { name: file.name, size: file.size, modified: file.lastModified, sent: sent };
        saveRecords(all);
    }

    function forget(file) {
        var all = records();
        delete all[recordKey(file)];
        saveRecords(all);
        unlist(file);
    }

    // Takes the file off the list of unfinished uploads.
    function unlist(file) {
        var row = resumeList && resumeList.querySelector("[data-key=\"" + CSS.escape(recordKey(file)) + "\"]");
        if (row)
            row.remove();
        if (resumeBox && resumeList && !resumeList.children.length)
            resumeBox.hidden = true;
    }

    function Item(file) {
        this.file = file;
        this.chunked = file.size > chunkedAbove;
        this.sent = 0;
        this.speed = 0;
        this.cancelled = false;
        this.xhr = null;
        this.timer = null;
        this.samples = [];
        this.li = document.createElement("li");
        this.li.className = "waiting";
        var top = document.createElement("div");
        top.className = "top";
        var name = document.createElement("span");
        name.className = "name";
        name.textContent = file.name;
        var size = document.createElement("span");
        size.className = "size";
        size.textContent = humanSize(file.size);
        size.title = format(T.bytes, file.size);
        this.cancelButton = document.createElement("button");
        this.cancelButton.type = "button";
        this.cancelButton.className = "cancel";
        this.cancelButton.textContent = T.cancel;
        this.cancelButton.onclick = this.cancel.bind(this);
        top.appendChild(name);
        top.appendChild(size);
        top.appendChild(this.cancelButton);
        this.bar = document.createElement("progress");
        this.bar.max = 1000;
        this.bar.value = 0;
        var state = document.createElement("div");
        state.className = "state";
        this.stateLeft = document.createElement("span");
        this.stateRight = document.createElement("span");
        state.appendChild(this.stateLeft);
        state.appendChild(this.stateRight);
        this.msg = document.createElement("div");
        this.msg.className = "msg";
        this.li.appendChild(top);
        this.li.appendChild(this.bar);
        this.li.appendChild(state);
        this.li.appendChild(this.msg);
        this.stateLeft.textContent = T.waiting;
    }

    Item.prototype.done = function () {
        return this.li.className === "done" || this.li.className === "failed";
    };

    // The rate counts from here on: bytes held from before a resumption are not this run's speed.
    Item.prototype.restartRate = function (sent) {
        this.samples = [[performance.now(), sent]];
        this.progress(sent);
    };

    Item.prototype.progress = function (sent) {
        var now = performance.now();
        this.sent = sent;
        this.samples.push([now, sent]);
        while (this.samples.length > 2 && now - this.samples[0][0] > 3000)
            this.samples.shift();
        var size = this.file.size;
        var fraction = size > 0 ? Math.min(sent / size, 1) : 1;
        this.bar.value = Math.round(fraction * 1000);
        var first = this.samples[0];
        var seconds = (now - first[0]) / 1000;
        this.speed = seconds > 0.2 ? Math.max(0, (sent - first[1]) / seconds) : 0;
        this.stateLeft.textContent =
            Math.floor(fraction * 100) + "% · " + humanSize(sent) + " / " + humanSize(size);
        this.stateRight.textContent = this.speed > 0
            ? humanSize(this.speed) + "/s · " + humanTime((size - sent) / this.speed) : "";
        showTotal();
    };

    Item.prototype.finish = function (ok, text) {
        if (this.done())
            return;
        clearTimeout(this.timer);
        this.li.className = ok ? "done" : "failed";
        this.cancelButton.hidden = true;
        this.speed = 0;
        if (ok) {
            this.sent = this.file.size;
            this.bar.value = 1000;
            var seconds = (performance.now() - this.started) / 1000;
            this.stateLeft.textContent = "100% · " + humanSize(this.file.size);
            this.stateRight.textContent = seconds > 0.05 && this.file.size > 0
                ? format(T.average, humanSize(this.file.size / seconds) + "/s") : "";
        } else {
            this.stateRight.textContent = "";
        }
        this.msg.textContent = text || "";
        if (ok)
            batch.ok++;
        else
            batch.failed++;
        var i = running.indexOf(this);
        if (i >= 0)
            running.splice(i, 1);
        showTotal();
        next();
    };

    Item.prototype.cancel = function () {
        if (this.done())
            return;
        this.cancelled = true;
        if (running.indexOf(this) >= 0) {
            clearTimeout(this.timer);
            if (this.xhr)
                this.xhr.abort();
            else
                this.abandon();
        } else {
            var i = queue.indexOf(this);
            if (i >= 0)
                queue.splice(i, 1);
            this.stateLeft.textContent = T.cancelled;
            this.finish(false, "");
        }
    };

    // A running upload was cancelled: the computer drops what it holds of a chunked one.
    Item.prototype.abandon = function () {
        if (this.chunked) {
            post("/hugefile", [["action", "show"], ["filename", this.file.name], ["filesize", String(this.file.size)],
                ["finish", "terminate"]], null, function () {});
            forget(this.file);
        }
        this.finish(false, T.cancelled);
    };

    Item.prototype.start = function () {
        this.li.className = "running";
        this.started = performance.now();
        this.restartRate(0);
        if (this.chunked)
            this.startChunked();
        else
            this.startSingle();
    };

    Item.prototype.startSingle = function () {
        var self = this;
        this.xhr = post("/file", [["action", "show"], ["filename", this.file.name], ["data", this.file, this.file.name]],
            function (loaded, sent) {
                self.progress(sent > 0 ? Math.floor(self.file.size * loaded / sent) : 0);
            },
            function (answer, error) {
                self.xhr = null;
                if (self.cancelled)
                    return self.finish(false, T.cancelled);
                if (!answer)
                    return self.finish(false, error);
                self.finish(answer.ok, answer.msg || (answer.ok ? T.saved : T.failed));
            });
    };

    Item.prototype.startChunked = function () {
        var self = this;
        var file = this.file;
        var named = [["action", "show"], ["filename", file.name], ["filesize", String(file.size)]];
        var offset = 0;
        var index = 0;
        var chunkBytes = chunkSize;
        var failures = 0;
        var note = "";
        var first = true;
        var finishing = false;

        function call(fields, onProgress, done, body) {
            self.xhr = post("/hugefile", named.concat(fields), onProgress, function (answer, error, retryable) {
                self.xhr = null;
                if (self.cancelled)
                    return self.abandon();
                done(answer, error, retryable);
            }, body);
        }

        function giveUp(text) {
            self.finish(false, offset > 0 ? text + " " + T.canResume : text);
        }

        // After a pause, ask where the computer stands and go on from there.
        function retry(text) {
            if (failures >= retryDelays.length)
                return giveUp(text);
            var delay = retryDelays[failures++];
            chunkBytes = chunkSize;
            self.speed = 0;
            self.stateRight.textContent = "";
            self.msg.textContent = format(T.retrying, text, Math.round(delay / 1000), failures, retryDelays.length);
            showTotal();
            self.timer = setTimeout(askStatus, delay);
        }

        function askStatus() {
            call([["status", "status"]], null, function (answer, error, retryable) {
                if (!answer)
                    return retryable ? retry(error) : giveUp(error);
                if (!answer.ok)
                    return retry(answer.msg || T.failed);
                var received = Number(answer.received) || 0;
                var sameFile = !first || !(recordKey(file) in records())
                    || records()[recordKey(file)].modified === file.lastModified;
                first = false;
                if (finishing && received === 0)
                    return self.finish(false, T.finishUnknown);
                if (received <= 0 || received > file.size || !sameFile)
                    return begin();
                offset = received;
                index = Number(answer.next) || 0;
                self.restartRate(offset);
                note = format(T.resumed, humanSize(offset));
                self.msg.textContent = note;
                sendChunk();
            });
        }

        function begin() {
            call([["begin", "begin"]], null, function (answer, error, retryable) {
                if (!answer)
                    return retryable ? retry(error) : giveUp(error);
                if (!answer.ok)
                    return giveUp(answer.msg || T.failed);
                offset = 0;
                index = 0;
                remember(file, 0);
                self.restartRate(0);
                sendChunk();
            });
        }

        function nextSize(bytes, ms) {
            var carried = bytes * chunkSeconds * 1000 / Math.max(ms, 1);
            return Math.min(maxChunkSize, Math.max(chunkSize, Math.floor(carried / chunkSize) * chunkSize));
        }

        function sendChunk() {
            if (offset >= file.size)
                return finishUpload();
            var start = offset;
            var end = Math.min(start + chunkBytes, file.size);
            var blob = file.slice(start, end);
            var sentAt = Date.now();
            call([["index", String(index)]],
                function (loaded, size) {
                    self.progress(start + (size > 0 ? Math.floor(blob.size * loaded / size) : 0));
                },
                function (answer, error, retryable) {
                    if (!answer)
                        return retryable ? retry(error) : giveUp(error);
                    if (!answer.ok)
                        return retry(answer.msg || T.failed);
                    failures = 0;
                    chunkBytes = nextSize(blob.size, Date.now() - sentAt);
                    self.msg.textContent = note;
                    offset = end;
                    index++;
                    remember(file, offset);
                    self.progress(offset);
                    sendChunk();
                }, blob);
        }

        function finishUpload() {
            finishing = true;
            self.stateRight.textContent = T.joining;
            call([["finish", "finish"]], null, function (answer, error, retryable) {
                if (!answer)
                    return retryable ? retry(error) : giveUp(error);
                if (!answer.ok)
                    return retry(answer.msg || T.failed);
                forget(file);
                self.finish(true, answer.msg || T.saved);
            });
        }

        this.stateRight.textContent = T.checking;
        unlist(file);
        askStatus();
    };

    // Sums over the files of this batch: bytes, speed, time left, and how many are finished.
    function showTotal() {
        if (!batchItems.length) {
            total.hidden = true;
            return;
        }
        var size = 0;
        var sent = 0;
        var speed = 0;
        var finished = 0;
        for (var i = 0; i < batchItems.length; i++) {
            var item = batchItems[i];
            if (item.li.className === "failed")
                continue;
            size += item.file.size;
            sent += item.sent;
            speed += item.speed;
            if (item.li.className === "done")
                finished++;
        }
        var fraction = size > 0 ? Math.min(sent / size, 1) : 1;
        total.hidden = false;
        total.querySelector("progress").value = Math.round(fraction * 1000);
        total.querySelector(".left").textContent = format(T.total, Math.floor(fraction * 100),
            humanSize(sent), humanSize(size));
        total.querySelector(".right").textContent = speed > 0
            ? humanSize(speed) + "/s · " + humanTime((size - sent) / speed) : "";
        total.querySelector(".count").textContent = format(T.finishedCount, finished, batchItems.length);
    }

    // Two files of the same name and size would be the same resumable upload: one waits.
    function startable(item) {
        if (!item.chunked)
            return true;
        for (var i = 0; i < running.length; i++) {
            if (running[i].chunked && recordKey(running[i].file) === recordKey(item.file))
                return false;
        }
        return true;
    }

    function next() {
        for (var i = 0; i < queue.length && running.length < maxParallel;) {
            var item = queue[i];
            if (!startable(item)) {
                i++;
                continue;
            }
            queue.splice(i, 1);
            running.push(item);
            summary.hidden = true;
            item.start();
        }
        if (!running.length && !queue.length)
            endBatch();
    }

    function endBatch() {
        if (batch.ok === 0 && batch.failed === 0)
            return;
        var ok = batch.ok;
        var failed = batch.failed;
        batch = { ok: 0, failed: 0 };
        batchItems = [];
        function show(text) {
            summary.className = "summary " + (failed > 0 ? "error" : "ok");
            summary.textContent = text;
            summary.hidden = false;
        }
        var text = failed > 0 ? format(T.someFailed, ok, failed) : format(T.allDone, ok);
        if (ok > 0) {
            // One "finish" call of the single-upload protocol tells the computer that the batch is
            // complete, so that it shows the folder once for all of its files.
            post("/file", [["action", "show"], ["finish", "finish"]], null, function (answer) {
                show(answer && answer.ok && failed === 0 ? text + " " + (answer.msg || "") : text);
            });
        } else {
            show(text);
        }
    }

    function add(files) {
        for (var i = 0; i < files.length; i++) {
            var item = new Item(files[i]);
            queue.push(item);
            batchItems.push(item);
            queueList.appendChild(item.li);
        }
        showTotal();
        next();
    }

    // Uploads this browser left unfinished that the computer still holds: picking the file
    // again continues it; "forget" drops it on both sides.
    function showUnfinished() {
        var all = records();
        Object.keys(all).forEach(function (key) {
            var record = all[key];
            var file = { name: String(record.name), size: Number(record.size) };
            var tries = 0;
            function ask() {
                post("/hugefile", [["action", "show"], ["filename", file.name], ["filesize", String(file.size)],
                    ["status", "status"]], null, answered);
            }
            function answered(answer, error, retryable) {
                // Busy: a chunk of the broken-off upload may still be in the computer's hands.
                if ((!answer && retryable) || (answer && !answer.ok)) {
                    if (tries < retryDelays.length)
                        setTimeout(ask, retryDelays[tries++]);
                    return;
                }
                var received = answer ? Number(answer.received) || 0 : 0;
                if (received <= 0)
                    return forget(file);
                var li = document.createElement("li");
                li.setAttribute("data-key", key);
                var name = document.createElement("span");
                name.className = "name";
                name.textContent = file.name;
                var state = document.createElement("span");
                state.className = "held";
                state.textContent = format(T.held, Math.floor(received / file.size * 100), humanSize(received),
                    humanSize(file.size));
                var drop = document.createElement("button");
                drop.type = "button";
                drop.className = "cancel";
                drop.textContent = T.forget;
                drop.onclick = function () {
                    post("/hugefile", [["action", "show"], ["filename", file.name], ["filesize", String(file.size)],
                        ["finish", "terminate"]], null, function () {});
                    forget(file);
                };
                li.appendChild(name);
                li.appendChild(state);
                li.appendChild(drop);
                resumeList.appendChild(li);
                resumeBox.hidden = false;
            }
            ask();
        });
    }

    picker.addEventListener("change", function () {
        add(picker.files);
        picker.value = "";
    });

    // Dropping anywhere on the page adds the files; the drop area lights up while dragging.
    var depth = 0;
    function hasFiles(e) {
        var types = e.dataTransfer && e.dataTransfer.types;
        return types && Array.prototype.indexOf.call(types, "Files") >= 0;
    }
    document.addEventListener("dragenter", function (e) {
        if (!hasFiles(e))
            return;
        e.preventDefault();
        depth++;
        drop.classList.add("over");
    });
    document.addEventListener("dragover", function (e) {
        if (!hasFiles(e))
            return;
        e.preventDefault();
        e.dataTransfer.dropEffect = "copy";
    });
    document.addEventListener("dragleave", function () {
        depth = Math.max(0, depth - 1);
        if (depth === 0)
            drop.classList.remove("over");
    });
    document.addEventListener("drop", function (e) {
        if (!hasFiles(e))
            return;
        e.preventDefault();
        depth = 0;
        drop.classList.remove("over");
        add(e.dataTransfer.files);
    });

    window.addEventListener("beforeunload", function (e) {
        if (running.length || queue.length) {
            e.preventDefault();
            e.returnValue = T.leaveWarning;
            return T.leaveWarning;
        }
    });

    // A text for the computer ("/text", field "text"): at most maxTextBytes in UTF-8 as the form
    // sends it (line ends as "\r\n"); a longer one is refused here, and by the computer with 413.
    var maxTextBytes = parseInt(body.getAttribute("data-max-text"), 10) || 1024 * 1024;
    var textBox = document.getElementById("text");
    var textButton = document.getElementById("send-text");
    var textState = document.getElementById("text-state");

    function showTextState(text, ok) {
        textState.textContent = text;
        textState.className = "text-state " + (ok ? "ok" : "error");
    }

    textButton.addEventListener("click", function () {
        var value = textBox.value;
        if (!value.length)
            return showTextState(T.textEmpty, false);
        var bytes = new Blob([value.replace(/\r?\n/g, "\r\n")]).size;
        if (bytes > maxTextBytes)
            return showTextState(format(T.textTooLarge, humanSize(bytes), humanSize(maxTextBytes)), false);
        textButton.disabled = true;
        textState.textContent = T.textSending;
        textState.className = "text-state";
        var xhr = post("/text", [["text", value]], null, function (answer, error) {
            textButton.disabled = false;
            if (xhr.status === 413)
                return showTextState(format(T.textTooLarge, humanSize(bytes), humanSize(maxTextBytes)), false);
            if (xhr.status === 429)
                return showTextState(T.busy, false);
            if (!answer)
                return showTextState(error || T.networkError, false);
            showTextState(answer.ok ? T.textSent : answer.msg || T.badAnswer, answer.ok);
        });
    });

    showUnfinished();
})();
