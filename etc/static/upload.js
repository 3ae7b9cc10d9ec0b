/* Orvex upload pages. One script for both pages:
   - data-mode="single": each file is one multipart request to /file; when the queue is empty one
     "finish" request tells the computer that the batch is complete.
   - data-mode="huge": each file is sent through the chunked protocol of /hugefile: "begin", then
     the chunks in order, each only after the answer to the previous one (the computer appends
     them in arrival order), then "finish" with the file name; "terminate" abandons an upload.
   Files are sent one after another: the chunked protocol allows one upload per client at a time.
   Both pages end a batch with the "finish" call of /file. The key of the receive session travels
   in a cookie the server set with the page; without it every call is refused with 403.
   The page texts come from the template (a JSON block with the id "texts"), so the language
   variants of the templates share this script. */
(function () {
    "use strict";

    var body = document.body;
    var mode = body.getAttribute("data-mode") === "huge" ? "huge" : "single";
    var endpoint = mode === "huge" ? "/hugefile" : "/file";
    var chunkSize = parseInt(body.getAttribute("data-chunk-size"), 10) || 8 * 1024 * 1024;
    var singleLimit = parseFloat(body.getAttribute("data-single-limit")) || 0;
    var T = JSON.parse(document.getElementById("texts").textContent);

    var drop = document.getElementById("drop");
    var picker = document.getElementById("picker");
    var queueList = document.getElementById("queue");
    var summary = document.getElementById("summary");

    var queue = [];
    var running = null;
    var batch = { ok: 0, failed: 0 };

    function format(text) {
        var args = arguments;
        return text.replace(/%(\d)/g, function (m, n) {
            return args[Number(n)] !== undefined ? String(args[Number(n)]) : m;
        });
    }

    function humanSize(bytes) {
        var units = ["B", "KB", "MB", "GB", "TB"];
        var i = 0;
        while (bytes >= 1024 && i < units.length - 1) {
            bytes /= 1024;
            i++;
        }
        return (i === 0 ? String(bytes) : bytes.toFixed(bytes < 10 ? 1 : 0)) + " " + units[i];
    }

    function humanTime(seconds) {
        if (!isFinite(seconds) || seconds < 0)
            return "";
        seconds = Math.round(seconds);
        var m = Math.floor(seconds / 60);
        var s = seconds % 60;
        return m > 0 ? format(T.minutes, m, s) : format(T.seconds, s);
    }

    // Sends one form as a POST (to the page's own endpoint unless target is given) and hands the
    // parsed JSON answer, or an error text, to done.
    function post(fields, onProgress, done, target) {
        var form = new FormData();
        for (var i = 0; i < fields.length; i++) {
            if (fields[i].length === 3)
                form.append(fields[i][0], fields[i][1], fields[i][2]);
            else
                form.append(fields[i][0], fields[i][1]);
        }
        var xhr = new XMLHttpRequest();
        xhr.open("POST", target || endpoint);
        if (onProgress) {
            xhr.upload.onprogress = function (e) {
                if (e.lengthComputable)
                    onProgress(e.loaded, e.total);
            };
        }
        xhr.onload = function () {
            if (xhr.status === 413)
                return done(null, T.tooLargeRequest);
            if (xhr.status === 503)
                return done(null, T.busy);
            if (xhr.status === 403)
                return done(null, T.denied);
            if (xhr.status !== 200)
                return done(null, format(T.httpError, xhr.status));
            var answer;
            try {
                answer = JSON.parse(xhr.responseText);
            } catch (e) {
                return done(null, T.badAnswer);
            }
            if (!answer || typeof answer.ok !== "boolean")
                return done(null, T.badAnswer);
            done(answer, null);
        };
        xhr.onerror = function () {
            done(null, T.networkError);
        };
        xhr.onabort = function () {
            done(null, null);
        };
        xhr.send(form);
        return xhr;
    }

    function Item(file) {
        this.file = file;
        this.sent = 0;
        this.cancelled = false;
        this.xhr = null;
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

    Item.prototype.progress = function (sent) {
        var now = performance.now();
        this.sent = sent;
        this.samples.push([now, sent]);
        while (this.samples.length > 2 && now - this.samples[0][0] > 3000)
            this.samples.shift();
        var total = this.file.size;
        var fraction = total > 0 ? Math.min(sent / total, 1) : 1;
        this.bar.value = Math.round(fraction * 1000);
        var first = this.samples[0];
        var seconds = (now - first[0]) / 1000;
        var speed = seconds > 0.2 ? (sent - first[1]) / seconds : 0;
        this.stateLeft.textContent =
            Math.floor(fraction * 100) + "% · " + humanSize(sent) + " / " + humanSize(total);
        this.stateRight.textContent = speed > 0
            ? humanSize(speed) + "/s" + (speed > 0 ? " · " + humanTime((total - sent) / speed) : "")
            : "";
    };

    Item.prototype.finish = function (ok, text) {
        this.li.className = ok ? "done" : "failed";
        this.cancelButton.hidden = true;
        if (ok) {
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
        running = null;
        next();
    };

    Item.prototype.cancel = function () {
        if (this.li.className === "done" || this.li.className === "failed")
            return;
        this.cancelled = true;
        if (this === running) {
            if (this.xhr)
                this.xhr.abort();
        } else {
            var i = queue.indexOf(this);
            if (i >= 0)
                queue.splice(i, 1);
            this.li.className = "failed";
            this.cancelButton.hidden = true;
            this.stateLeft.textContent = T.cancelled;
            batch.failed++;
            if (!running)
                next();
        }
    };

    Item.prototype.start = function () {
        this.li.className = "running";
        this.started = performance.now();
        this.samples = [[this.started, 0]];
        this.progress(0);
        if (mode === "huge")
            this.startHuge();
        else
            this.startSingle();
    };

    Item.prototype.startSingle = function () {
        var self = this;
        if (singleLimit > 0 && this.file.size >= singleLimit)
            return this.finish(false, T.tooLargeFile);
        this.xhr = post([["action", "show"], ["filename", this.file.name], ["data", this.file, this.file.name]],
            function (loaded, total) {
                self.progress(total > 0 ? Math.floor(self.file.size * loaded / total) : 0);
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

    Item.prototype.startHuge = function () {
        var self = this;
        var file = this.file;
        var count = Math.ceil(file.size / chunkSize);
        var index = 0;

        function fail(text) {
            // Tell the computer to drop the partial file; the answer does not matter.
            post([["action", "show"], ["finish", "terminate"]], null, function () {});
            self.finish(false, text);
        }

        function sendChunk() {
            if (self.cancelled)
                return fail(T.cancelled);
            if (index >= count)
                return finishUpload();
            var start = index * chunkSize;
            var blob = file.slice(start, Math.min(start + chunkSize, file.size));
            self.xhr = post([["action", "show"], ["filename", file.name], ["index", String(index)],
                ["data", blob, file.name]],
                function (loaded, total) {
                    self.progress(start + (total > 0 ? Math.floor(blob.size * loaded / total) : 0));
                },
                function (answer, error) {
                    self.xhr = null;
                    if (self.cancelled)
                        return fail(T.cancelled);
                    if (!answer)
                        return fail(error);
                    if (!answer.ok)
                        return fail(answer.msg || T.failed);
                    index++;
                    self.progress(Math.min(index * chunkSize, file.size));
                    sendChunk();
                });
        }

        function finishUpload() {
            self.stateRight.textContent = T.joining;
            self.xhr = post([["action", "show"], ["finish", "finish"], ["filename", file.name]], null,
                function (answer, error) {
                    self.xhr = null;
                    if (!answer)
                        return fail(error || T.cancelled);
                    self.finish(answer.ok, answer.msg || (answer.ok ? T.saved : T.failed));
                });
        }

        this.xhr = post([["action", "show"], ["begin", "begin"]], null, function (answer, error) {
            self.xhr = null;
            if (self.cancelled)
                return fail(T.cancelled);
            if (!answer)
                return self.finish(false, error);
            if (!answer.ok)
                return self.finish(false, answer.msg || T.failed);
            sendChunk();
        });
    };

    function next() {
        if (running)
            return;
        running = queue.shift() || null;
        if (running) {
            summary.hidden = true;
            running.start();
            return;
        }
        endBatch();
    }

    function endBatch() {
        if (batch.ok === 0 && batch.failed === 0)
            return;
        var ok = batch.ok;
        var failed = batch.failed;
        batch = { ok: 0, failed: 0 };
        function show(text) {
            summary.className = "summary " + (failed > 0 ? "error" : "ok");
            summary.textContent = text;
            summary.hidden = false;
        }
        var text = failed > 0 ? format(T.someFailed, ok, failed) : format(T.allDone, ok);
        if (ok > 0) {
            // One "finish" call of the single-upload protocol tells the computer that the batch is
            // complete, so that it shows the folder once for all of its files.
            post([["action", "show"], ["finish", "finish"]], null, function (answer) {
                show(answer && answer.ok && failed === 0 && mode === "single" ? text + " " + (answer.msg || "") : text);
            }, "/file");
        } else {
            show(text);
        }
    }

    function add(files) {
        for (var i = 0; i < files.length; i++) {
            var item = new Item(files[i]);
            queue.push(item);
            queueList.appendChild(item.li);
        }
        next();
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
        if (running || queue.length) {
            e.preventDefault();
            e.returnValue = T.leaveWarning;
            return T.leaveWarning;
        }
    });

    // Leaving the page in the middle of a chunked upload: ask the computer to drop the partial file.
    window.addEventListener("pagehide", function () {
        if (mode === "huge" && running && navigator.sendBeacon) {
            var form = new FormData();
            form.append("action", "show");
            form.append("finish", "terminate");
            navigator.sendBeacon(endpoint, form);
        }
    });
})();
